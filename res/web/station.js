// The station's view: a tile per slot (port, adapter, state in words and
// colour, stage and step, percent, versions before and after, a failure's
// message and detail in full), above them the counts, units per hour, the
// record's last lines and the question of the round with its buttons. It
// draws the state page.js receives (kz.views); without page.js it fetches
// the state itself and draws into a <main id="station"> of its own.
'use strict';

(() => {
  const kStateWords = {
    waiting: 'Waiting', hook: 'Hook running', running: 'Updating', updated: 'Updated', failed: 'Failed',
    skipped: 'Skipped', interrupted: 'Interrupted', cancelled: 'Cancelled', unavailable: 'Unavailable', done: 'Done',
  };
  const kButtonWords = { yes: 'Yes', no: 'No', continue: 'Continue', q: 'Stop (q)' };
  const kCountOrder = ['updated', 'failed', 'skipped', 'interrupted'];

  // page.js's kz is a global binding of its script, not a property of window.
  const havePage = typeof kz !== 'undefined' && Array.isArray(kz.views);
  let root = null;
  const drawn = {}; // each part's state as last drawn, so that only a change redraws it (and no button under a finger)

  function element(tag, className, text) {
    const node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined && text !== null) node.textContent = String(text);
    return node;
  }

  function part(name, className) {
    let node = root.querySelector(`[data-part="${name}"]`);
    if (!node) {
      node = element('section', className);
      node.dataset.part = name;
      root.appendChild(node);
    }
    return node;
  }

  // Redraws a part when what it shows has changed.
  function redraw(name, className, value, draw) {
    const key = JSON.stringify(value);
    const node = part(name, className);
    if (drawn[name] === key) return;
    drawn[name] = key;
    node.textContent = '';
    draw(node, value);
  }

  function ensureRoot() {
    if (root) return;
    root = document.getElementById('station');
    if (!root) {
      root = element('main');
      root.id = 'station';
      document.body.appendChild(root);
    }
    if (!document.querySelector('link[href="station.css"]')) {
      const style = element('link');
      style.rel = 'stylesheet';
      style.href = 'station.css';
      document.head.appendChild(style);
    }
  }

  function drawSummary(node, state) {
    const counts = element('div', 'counts');
    for (const name of kCountOrder) {
      const count = element('div', `count count-${name}`);
      count.appendChild(element('span', 'count-number', (state.counts || {})[name] || 0));
      count.appendChild(element('span', 'count-word', name));
      counts.appendChild(count);
    }
    const rate = element('div', 'count count-rate');
    rate.appendChild(element('span', 'count-number', (state.unitsPerHour || 0).toFixed(1)));
    rate.appendChild(element('span', 'count-word', 'units per hour'));
    counts.appendChild(rate);
    node.appendChild(counts);
    if (state.ended) node.appendChild(element('p', 'station-ended', 'The station has stopped.'));
  }

  function drawRecord(node, lines) {
    node.appendChild(element('h2', null, 'Record'));
    const list = element('ol', 'record-lines');
    if (lines.length === 0) list.appendChild(element('li', 'record-empty', 'No unit has finished yet.'));
    for (const line of lines) list.appendChild(element('li', null, line));
    node.appendChild(list);
  }

  function answer(value) {
    const body = JSON.stringify({ answer: value });
    const sent = havePage ? kz.post('/api/answer', { answer: value })
      : fetch('/api/answer', { method: 'POST', headers: { 'Content-Type': 'application/json' }, body })
        .then((response) => ({ status: response.status }));
    sent.then((reply) => {
      if (reply.status !== 200 && havePage) kz.showError('That answer was not taken: the question may have moved on.');
    });
  }

  function drawQuestion(node, question) {
    node.hidden = !question;
    if (!question) return;
    node.appendChild(element('p', 'station-question-text', question.text));
    const buttons = element('p', 'station-answers');
    for (const value of question.answers) {
      const button = element('button', value === 'no' || value === 'q' ? 'answer-stop' : 'answer-go',
        kButtonWords[value] || value);
      button.type = 'button';
      button.dataset.answer = value;
      button.addEventListener('click', () => {
        for (const other of buttons.querySelectorAll('button')) other.disabled = true;
        answer(value);
      });
      buttons.appendChild(button);
    }
    node.appendChild(buttons);
  }

  function timeLeft(seconds) {
    return `${Math.floor(seconds / 60)}:${String(seconds % 60).padStart(2, '0')} left`;
  }

  function fact(tile, label, value, className) {
    const row = element('div', `fact ${className || ''}`);
    row.appendChild(element('span', 'fact-label', label));
    row.appendChild(element('span', 'fact-value', value));
    tile.appendChild(row);
  }

  function drawTile(unit) {
    const tile = element('article', `tile state-${unit.state}`);
    tile.dataset.slot = unit.slot;
    tile.dataset.state = unit.state;
    const head = element('div', 'tile-head');
    head.appendChild(element('span', 'tile-slot', `Slot ${unit.slot}`));
    head.appendChild(element('span', 'tile-port', unit.port || '(no port)'));
    tile.appendChild(head);
    const adapter = unit.adapter || (unit.simulated ? 'simulated Kestrune (no real device)' : '');
    if (adapter) tile.appendChild(element('div', `tile-adapter${unit.simulated ? ' simulated' : ''}`, adapter));
    tile.appendChild(element('div', 'tile-state', kStateWords[unit.state] || unit.state));
    if (unit.stateText && unit.stateText.toLowerCase() !== (kStateWords[unit.state] || '').toLowerCase()) {
      tile.appendChild(element('div', 'tile-state-text', unit.stateText));
    }
    if (unit.state === 'running' && unit.stageTitle) tile.appendChild(element('div', 'tile-stage', unit.stageTitle));
    if (unit.state === 'running' || unit.state === 'updated' || unit.percent > 0) {
      const bar = element('div', 'tile-bar');
      const fill = element('div', 'tile-fill');
      fill.style.width = `${Math.max(0, Math.min(100, unit.percent))}%`;
      bar.appendChild(fill);
      tile.appendChild(bar);
      const progress = element('div', 'tile-percent', `${Number(unit.percent).toFixed(1)}%`);
      if (unit.secondsLeft !== null && unit.secondsLeft !== undefined) {
        progress.appendChild(element('span', 'tile-left', timeLeft(unit.secondsLeft)));
      }
      tile.appendChild(progress);
    }
    const versions = element('div', 'tile-versions');
    versions.appendChild(element('span', 'version-before', `before ${unit.versionBefore || '-'}`));
    versions.appendChild(element('span', 'version-arrow', '\u2192'));
    versions.appendChild(element('span', 'version-after', `after ${unit.versionAfter || '-'}`));
    tile.appendChild(versions);
    if (unit.message) tile.appendChild(element('div', 'tile-message', unit.message));
    if (unit.detail) tile.appendChild(element('div', 'tile-detail', unit.detail));
    if (unit.error && unit.error.trim() !== (unit.detail || '').trim()) {
      tile.appendChild(element('div', 'tile-detail', unit.error));
    }
    if (unit.note) fact(tile, 'note', unit.note, 'tile-note');
    return tile;
  }

  function drawTiles(node, units) {
    for (const unit of units) node.appendChild(drawTile(unit));
  }

  function draw(state) {
    const station = state && state.mode === 'station';
    if (!station) {
      if (root) root.hidden = true;
      return;
    }
    ensureRoot();
    root.hidden = false;
    document.body.classList.add('station-mode');
    redraw('summary', 'station-summary', { counts: state.counts, unitsPerHour: state.unitsPerHour, ended: state.ended },
      drawSummary);
    redraw('question', 'station-question', state.question || null, drawQuestion);
    redraw('record', 'station-record', state.record || [], drawRecord);
    redraw('tiles', 'tiles', state.units || [], drawTiles);
  }

  // Alone, without page.js: the state now, then each change over the live channel.
  function connectAlone() {
    fetch('/api/state').then((response) => response.json()).then(draw).catch(() => {});
    const live = new WebSocket(`ws://${location.host}/api/live`);
    live.onmessage = (message) => draw(JSON.parse(message.data));
    live.onclose = () => setTimeout(connectAlone, 1000);
  }

  if (havePage) kz.views.push(draw);
  else window.addEventListener('DOMContentLoaded', connectAlone);
})();
