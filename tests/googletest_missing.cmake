message(FATAL_ERROR "GoogleTest was not found when the build was configured, so no test was "
                    "built. Install it (apt-get install libgtest-dev) and configure again.")
