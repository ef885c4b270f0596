// The device owner's view: the ports, the Kestrune found on them, the two
// versions, the Instructions with "Cancel" and "Update", the update's
// progress, its outcome, the power cycle and the version after.
'use strict';

(() => {
  const $ = (id) => document.getElementById(id);
  let chosen = null;      // the id of the port the person picked
  let portsDrawn = '';    // what the port list was drawn from
  let searched = false;   // the first search was asked for

  function portFacts(port) {
    if (port.simulated) return ['A simulation on this computer; it touches no real device.'];
    const facts = [];
    if (port.com) facts.push(port.path);
    const maker = [port.manufacturer, port.product].filter(Boolean).join(', ');
    if (maker) facts.push(maker);
    else if (port.description) facts.push(port.description);
    if (port.serial) facts.push(`serial ${port.serial}`);
    if (port.ids) facts.push(`USB ${port.ids}`);
    if (port.usbName) facts.push(port.usbName);
    if (!port.usb) facts.push('built-in port');
    return facts;
  }

  function answerText(port, probe, asking) {
    if (asking) return 'asking for its version...';
    if (!probe) return port.usb || port.simulated ? '' : 'not asked yet: pick it to ask the Kestrune on it';
    switch (probe.outcome) {
      case 'answered': return `a Kestrune answers here: ${probe.version}`;
      case 'garbled': return 'an answer came garbled (the adapter may not carry parity)';
      case 'held': return `in use by another program: ${probe.detail || ''}`;
      case 'unopened': return `cannot be opened: ${probe.detail || ''}`;
      default: return 'no Kestrune answered';
    }
  }

  function drawPorts(state) {
    const ports = state.ports || [];
    const probes = state.probes || {};
    const job = state.job || null;
    const drawnFrom = JSON.stringify([ports, probes, job, chosen]);
    if (drawnFrom === portsDrawn) return;
    portsDrawn = drawnFrom;
    const list = $('ports');
    list.textContent = '';
    if (ports.length === 0) list.textContent = 'No serial ports found. Check that the adapter is plugged in, then press "Search again".';
    for (const port of ports) {
      const label = document.createElement('label');
      label.className = (port.simulated ? 'simulated ' : '') + (port.id === chosen ? 'chosen' : '');
      const radio = document.createElement('input');
      radio.type = 'radio';
      radio.name = 'port';
      radio.value = port.id;
      radio.checked = port.id === chosen;
      radio.addEventListener('change', () => choose(port));
      const name = document.createElement('span');
      name.className = 'name';
      name.textContent = port.simulated ? 'Simulated Kestrune' : (port.com || port.path);
      const facts = document.createElement('div');
      facts.className = 'facts';
      facts.textContent = portFacts(port).join(' · ');
      const probe = probes[port.id];
      const asking = job && (job.kind === 'search' ? (port.usb || port.simulated) : job.port === port.id && job.kind === 'find');
      const answer = document.createElement('div');
      answer.className = 'answer' + (probe && probe.outcome === 'answered' ? ' answered' : '');
      answer.textContent = answerText(port, probe, asking);
      label.append(radio, ' ', name, facts, answer);
      list.append(label);
    }
  }

  function choose(port) {
    chosen = port.id;
    const probes = (kz.state && kz.state.probes) || {};
    if (!probes[port.id]) kz.post('/api/find', { port: port.id }).then(reportRefusal);
    draw(kz.state);
  }

  // With nothing picked yet: a real Kestrune that answered, else the simulated one.
  function chooseFound(state) {
    if (chosen && (state.ports || []).some((port) => port.id === chosen)) return;
    chosen = null;
    const probes = state.probes || {};
    const answered = (state.ports || []).filter((port) => probes[port.id] && probes[port.id].outcome === 'answered');
    const pick = answered.find((port) => !port.simulated) || answered[0];
    if (pick) chosen = pick.id;
  }

  function reportRefusal(reply) {
    kz.showError(reply.status >= 400 ? reply.body.error || `refused (${reply.status})` : '');
    return reply;
  }

  function unitOf(state) {
    return state.updatePort && state.units && state.units.length ? state.units[0] : null;
  }

  function drawVersions(state, unit, busy) {
    $('carried').textContent = state.carried || '';
    const probe = chosen && state.probes ? state.probes[chosen] : null;
    let version = probe && probe.outcome === 'answered' ? probe.version : null;
    if (unit && state.updatePort === chosen && unit.versionAfter) version = unit.versionAfter;
    $('device-version').textContent = version || '???';
    let note = '';
    if (!chosen) note = 'Pick the port your Kestrune is connected to.';
    else if (!version) note = '??? means no Kestrune answered on this port: it may be switched off, in bootstrap mode already, or connected to another port.';
    $('version-note').textContent = note;
    $('instructions').disabled = !chosen || busy || state.closed;
    $('search').disabled = busy || state.closed;
  }

  function timeText(seconds) {
    const whole = Math.max(0, Math.round(seconds));
    return `${Math.floor(whole / 60)}:${String(whole % 60).padStart(2, '0')} left`;
  }

  function drawProgress(unit) {
    const running = unit && (unit.state === 'running' || unit.state === 'hook');
    $('progress').hidden = !running;
    if (!running) return;
    $('progress-stage').textContent = unit.stage ? `Stage ${unit.stage} of 4: ${unit.stageTitle || ''}` : 'Starting...';
    $('progress-step').textContent = unit.step ? `${unit.step} ${unit.done} of ${unit.total}` : '';
    const percent = Number(unit.percent || 0);
    $('progress-fill').style.width = `${percent}%`;
    document.querySelector('.bar').setAttribute('aria-valuenow', String(percent));
    $('progress-percent').textContent = `${percent.toFixed(1)} %`;
    $('progress-left').textContent = unit.secondsLeft != null ? timeText(unit.secondsLeft) : '';
  }

  function drawOutcome(state, unit) {
    const texts = state.texts || {};
    const ended = unit && !['waiting', 'running', 'hook'].includes(unit.state);
    $('outcome').hidden = !ended;
    if (!ended) return;
    const success = unit.state === 'updated' || unit.state === 'done';
    $('outcome').className = `panel ${success ? 'success' : 'failure'}`;
    let title = unit.stateText || unit.state;
    let detail = unit.detail || unit.error || '';
    let next = '';
    if (success) {
      title = texts.success || 'Firmware update was successful.';
      detail = unit.note || '';
      if (unit.versionAfter) next = `The Kestrune restarted and reports ${unit.versionAfter}.`;
      else if (!state.question) next = texts.powerCycle || '';
    } else if (unit.state === 'failed' && unit.message) {
      title = unit.message;
      next = texts.repeat || '';
    } else if (unit.state === 'interrupted') {
      title = 'The update was stopped.';
      next = texts.repeat || '';
    } else if (unit.state === 'unavailable') {
      title = 'The port could not be opened.';
    }
    $('outcome-title').textContent = title;
    $('outcome-detail').textContent = detail;
    $('outcome-next').textContent = next;
  }

  function drawQuestion(state) {
    const question = state.question;
    $('question').hidden = !question;
    if (!question) return;
    const drawn = JSON.stringify(question);
    if ($('question').dataset.drawn === drawn) return;
    $('question').dataset.drawn = drawn;
    $('question-text').textContent = question.text;
    const answers = $('question-answers');
    answers.textContent = '';
    for (const answer of question.answers) {
      const button = document.createElement('button');
      button.type = 'button';
      button.textContent = (state.texts && state.texts.answers && state.texts.answers[answer]) || answer;
      button.addEventListener('click', () => kz.post('/api/answer', { answer }).then(reportRefusal));
      answers.append(button);
    }
  }

  function drawInstructions(texts) {
    $('instructions-heading').textContent = texts.heading || '';
    $('instructions-steps').textContent = texts.steps || '';
    $('instructions-note').textContent = texts.note || '';
    $('instructions-last').textContent = texts.lastStep || '';
    $('instructions-duration').textContent = texts.duration || '';
  }

  function draw(state) {
    if (!state || state.mode !== 'owner') return;
    $('owner').hidden = false;
    if (!searched) {
      searched = true;
      kz.post('/api/search').then(reportRefusal);
    }
    chooseFound(state);
    const unit = unitOf(state);
    const busy = Boolean(state.job) || Boolean(unit && (unit.state === 'running' || unit.state === 'hook'));
    drawPorts(state);
    drawVersions(state, unit, busy);
    drawProgress(unit);
    drawOutcome(state, unit);
    drawQuestion(state);
    drawInstructions(state.texts || {});
    $('search-state').textContent = state.job && state.job.kind === 'search' ? 'searching...' : '';
    if (state.closed) for (const button of document.querySelectorAll('button')) button.disabled = true;
  }

  function closeInstructions() {
    $('instructions-dialog').hidden = true;
    $('instructions').focus();
  }

  window.addEventListener('DOMContentLoaded', () => {
    $('search').addEventListener('click', () => kz.post('/api/search').then(reportRefusal));
    $('instructions').addEventListener('click', () => {
      $('instructions-dialog').hidden = false;
      $('instructions-cancel').focus(); // "Cancel" is the default: Enter cancels
    });
    $('instructions-cancel').addEventListener('click', closeInstructions);
    $('instructions-dialog').addEventListener('keydown', (event) => { if (event.key === 'Escape') closeInstructions(); });
    $('instructions-update').addEventListener('click', () => {
      closeInstructions();
      kz.post('/api/update', { port: chosen }).then(reportRefusal);
    });
  });

  kz.views.push(draw);
})();
