// The heap set-up of the project's executables when they run on mimalloc
// (the build adds this file only then; the library itself sets nothing).
//
// The demo's ten million nodes fill about 350 MiB. On 4 KiB pages most of its
// time goes to the page faults that hand out those pages one by one and to the
// TLB misses of walking them; on 2 MiB pages both almost vanish. So the
// executables ask mimalloc for large OS pages: on Linux it then maps its
// memory with transparent huge pages allowed (madvise), which the kernel
// honours unless they are switched off, and then nothing changes.
//
// The option must be set before mimalloc maps its first segment, and that
// happens before any constructor of the executable runs: libstdc++ allocates
// its exception pool while it initialises itself. Hence the pre-init array,
// which the dynamic linker runs before every library's initialisers. mimalloc
// has not read its environment yet there (nor has getenv got it, so the
// environment block passed in is searched here), and a set option is one that
// mimalloc no longer reads from the environment: so when the user has set
// MIMALLOC_LARGE_OS_PAGES, to anything, the option is left to mimalloc, and
// MIMALLOC_LARGE_OS_PAGES=0 gives the 4 KiB pages back.
#include <mimalloc.h>
#include <strings.h>

#include <cstring>

namespace {

bool in_environment(char** envp, const char* setting) {  // setting: "NAME="
  for (char** entry = envp; entry != nullptr && *entry != nullptr; ++entry) {
    if (strncasecmp(*entry, setting, std::strlen(setting)) == 0) {
      return true;
    }
  }
  return false;
}

void ask_for_large_os_pages(int /*argc*/, char** /*argv*/, char** envp) {
  if (in_environment(envp, "MIMALLOC_LARGE_OS_PAGES=")) {
    return;
  }
  mi_option_enable(mi_option_large_os_pages);
}

using PreInit = void (*)(int, char**, char**);
__attribute__((section(".preinit_array"), used)) const PreInit run_before_libraries =
    ask_for_large_os_pages;

}  // namespace
