// exercise.js: the exercise mode. Frames carry the questions their moment
// allows (frames.cpp: which rotation a level takes, LL, RR, LR, RL or none,
// where a height change reaches it; which balance factor is written; which
// key is the root at the end), each with the answer the module's trace
// gives. With the mode on, the player stops before such a frame, the
// question is asked over the tree, and the frame (which shows the answer)
// comes once it is answered. A score counts the answers; scenarios and fresh
// exercises (the scenarios with random keys) build trees that lead to a
// chosen case.
function Exercise(page) {
  var box = page.$('ask');
  var question = page.$('ask-question');
  var answers = page.$('ask-answers');
  var said = page.$('ask-said');
  var toggle = page.$('exercise');
  var score = page.$('score');
  var asked = {};  // step:frame:kind -> answered
  var right = 0;
  var total = 0;
  var CHOICES = { rotation: ['LL', 'RR', 'LR', 'RL', 'none'], balance: ['+1', '0', '-1'] };

  // Fixed scripts for the cases a course shows first.
  var SCENARIOS = {
    LL: '30 20 10', RR: '10 20 30', LR: '30 10 20', RL: '10 30 20',
    'two-rotations': '8 5 11 3 7 10 12 2 4 6 9 1 -d 12',
    'two-children': '20 10 30 5 15 25 35 12 -d 20'
  };

  function wanted(kind) {
    return toggle.checked && page.$('ask-' + kind).checked;
  }

  function showScore() {
    score.textContent = toggle.checked ? 'Score: ' + right + ' of ' + total : '';
  }

  // Before frame `f` of step `s`: true when a question holds it back, and
  // `go` shows it once answered.
  function gate(s, f, frame, go) {
    var asks = (frame.ask || []).filter(function (a) {
      return wanted(a.kind) && !asked[s + ':' + f + ':' + a.kind];
    });
    if (asks.length === 0) return false;
    ask(s, f, asks[0], function () {
      if (!gate(s, f, frame, go)) go();
    });
    return true;
  }

  function ask(s, f, a, then) {
    page.player.stop();
    question.textContent = a.question;
    answers.textContent = '';
    said.textContent = '';
    var check = function (given) {
      asked[s + ':' + f + ':' + a.kind] = true;
      total += 1;
      var ok = String(given).trim() === a.answer;
      if (ok) right += 1;
      showScore();
      page.say((ok ? 'Right: ' : 'Not quite: the answer is ') + a.answer + '.', true);
      box.hidden = true;
      then();
    };
    if (CHOICES[a.kind]) {
      CHOICES[a.kind].forEach(function (choice) {
        var b = answers.appendChild(document.createElement('button'));
        b.type = 'button';
        b.textContent = choice;
        b.addEventListener('click', function () { check(choice); });
      });
    } else {
      var input = answers.appendChild(document.createElement('input'));
      input.type = 'text';
      input.setAttribute('aria-label', 'your answer');
      input.addEventListener('keydown', function (e) {
        if (e.key === 'Enter') { e.preventDefault(); check(input.value); }
      });
      var b = answers.appendChild(document.createElement('button'));
      b.type = 'button';
      b.textContent = 'Check';
      b.addEventListener('click', function () { check(input.value); });
    }
    box.hidden = false;
    page.svg.setAttribute('data-state', 'asking');
    var first = answers.querySelector('input, button');
    if (first) first.focus();
  }

  // Starts from an empty tree (Undo brings the old one back) with `words`.
  function build(words, what) {
    asked = {};
    page.player.reset(false);
    page.operate(page.live.read(words, 0, page.player.room()).ops, what + ': ' + words + '.', what);
  }

  function scenario(name) {
    build(SCENARIOS[name], 'Scenario ' + name);
  }

  // A fresh exercise: the scenario's script with random keys in place of
  // its own, rank for rank. Where an AVL tree puts a key depends only on
  // the order of the keys, so the new keys lead to the same case.
  function fresh(kind) {
    var words = SCENARIOS[kind].split(' ');
    var ranks = words.filter(function (w) { return w !== '-d'; }).map(Number)
      .filter(function (k, i, all) { return all.indexOf(k) === i; }).sort(function (x, y) { return x - y; });
    var keys = [];
    while (keys.length < ranks.length) {
      var key = 1 + Math.floor(Math.random() * 99);
      if (keys.indexOf(key) < 0) keys.push(key);
    }
    keys.sort(function (x, y) { return x - y; });
    build(words.map(function (w) { return w === '-d' ? w : keys[ranks.indexOf(Number(w))]; }).join(' '),
      'A fresh ' + kind + ' exercise');
  }

  toggle.addEventListener('change', function () {
    asked = {};
    showScore();
    if (!toggle.checked) box.hidden = true;
  });
  page.$('fresh').addEventListener('click', function () { fresh(page.$('case').value); });
  var buttons = document.querySelectorAll('[data-scenario]');
  for (var i = 0; i < buttons.length; i++) {
    buttons[i].addEventListener('click', function (e) { scenario(e.currentTarget.getAttribute('data-scenario')); });
  }

  return {
    gate: gate,
    hide: function () { box.hidden = true; },
    asking: function () { return !box.hidden; },
    scenario: scenario
  };
}
