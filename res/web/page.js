// What every view of the page shares: the state as the updater sends it
// (GET /api/state, then the live channel /api/live whenever it changed), a
// request helper, and the views that draw it (owner.js, station.js).
'use strict';

const kz = {
  views: [],
  state: null,

  // A POST of a JSON body; resolves to {status, body} whatever the status.
  post(path, body) {
    return fetch(path, {
      method: 'POST',
      headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify(body || {}),
    }).then((response) => response.json().catch(() => ({})).then((json) => ({ status: response.status, body: json })));
  },

  showError(text) {
    const line = document.getElementById('page-error');
    line.textContent = text || '';
    line.hidden = !text;
  },
};

function kzShow(state) {
  kz.state = state;
  document.getElementById('closed').hidden = !state.closed;
  for (const view of kz.views) view(state);
}

function kzConnect() {
  const linkState = document.getElementById('link-state');
  fetch('/api/state').then((response) => {
    if (!response.ok) return response.json().then((json) => kz.showError(json.error || 'The updater refused this page.'));
    return response.json().then(kzShow);
  }).catch(() => { linkState.textContent = 'the updater does not answer'; });
  const live = new WebSocket(`ws://${location.host}/api/live`);
  live.onopen = () => { linkState.textContent = 'live'; };
  live.onmessage = (message) => kzShow(JSON.parse(message.data));
  live.onclose = () => {
    linkState.textContent = 'not connected';
    if (!kz.state || !kz.state.closed) setTimeout(kzConnect, 1000);
  };
}

window.addEventListener('DOMContentLoaded', () => {
  document.getElementById('quit').addEventListener('click', () => {
    kz.post('/api/quit').then(() => {
      document.getElementById('closed').hidden = false;
      for (const button of document.querySelectorAll('button')) button.disabled = true;
    });
  });
  kzConnect();
});
