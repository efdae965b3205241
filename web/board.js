// The shop board: one tile per machine, fed by the event stream /events and,
// while the stream is broken, by reading /api/fleet every 5 s. Every text
// from the server is set with textContent.
'use strict';

(function () {
  const lang = document.documentElement.lang === 'en' ? 'en' : 'zh';
  const tiles = document.getElementById('tiles');
  const template = document.getElementById('tile');
  const connection = document.getElementById('connection');
  const order = document.getElementById('order');
  const machines = new Map(); // id -> the machine's last object
  const elements = new Map(); // id -> its tile
  const dirty = new Set();
  const rank = { alarm: 0, idle: 1, connecting: 1, offline: 1, running: 2 };
  let texts = { states: {} };
  let live = false;
  let failed = false; // the stream broke, or did not come in time: say so
  let pollTimer = null;
  let renderTimer = null;

  // A token given in the address is kept by the server's cookie from now on.
  const address = new URL(window.location.href);
  if (address.searchParams.has('token')) {
    address.searchParams.delete('token');
    window.history.replaceState(null, '', address.pathname + address.search);
  }
  const savedOrder = window.localStorage.getItem('vexa-order');
  if (savedOrder === 'name' || savedOrder === 'state') order.value = savedOrder;

  function text(key) {
    return key in texts.states ? texts.states[key] : texts[key] || '';
  }

  function showTexts() {
    document.title = text('title');
    document.getElementById('title').textContent = text('title');
    for (const element of document.querySelectorAll('[data-text]')) element.textContent = text(element.dataset.text);
    connection.textContent = text('lost');
  }

  function duration(ms) {
    const seconds = Math.max(0, Math.floor(ms / 1000));
    const days = Math.floor(seconds / 86400);
    const h = Math.floor((seconds % 86400) / 3600);
    const m = String(Math.floor((seconds % 3600) / 60)).padStart(2, '0');
    const s = String(seconds % 60).padStart(2, '0');
    return days > 0 ? `${days}d ${h}:${m}` : `${h}:${m}:${s}`;
  }

  function percent(fraction) {
    return `${Math.round((fraction || 0) * 100)}%`;
  }

  function part(tile, name) {
    return tile.querySelector(`.${name}`);
  }

  function fill(tile, machine) {
    tile.dataset.state = machine.state;
    const name = part(tile, 'name');
    name.textContent = machine.name;
    name.href = `/machine/${encodeURIComponent(machine.id)}?lang=${lang}`;
    part(tile, 'state').textContent = text(machine.state) || machine.state;
    part(tile, 'program').textContent = machine.program || '';
    const pieces = machine.pieces === null ? '' : String(machine.pieces);
    part(tile, 'pieces').textContent = machine.target ? `${pieces} / ${machine.target}` : pieces;
    const share = machine.target > 0 && machine.pieces !== null ? Math.min(1, machine.pieces / machine.target) : 0;
    part(tile, 'fill').style.width = percent(share);
    part(tile, 'utilization').textContent = `${text('utilization')} ${percent(machine.utilization)}`;
    part(tile, 'reason').textContent = machine.reason || '';
    tile.classList.toggle('has-reason', Boolean(machine.reason));
    tile.classList.toggle('stale', !live);
    showSince(tile, machine);
  }

  function showSince(tile, machine) {
    const since = duration(Date.now() - Date.parse(machine.since));
    const element = part(tile, 'since');
    if (element.textContent !== since) element.textContent = since;
  }

  function compare(a, b) {
    if (order.value !== 'name') {
      const byRank = rank[a.state] - rank[b.state];
      if (byRank !== 0) return byRank;
      if (a.state !== 'running') {
        const longer = Date.parse(a.since) - Date.parse(b.since);
        if (longer !== 0) return longer;
      }
    }
    return a.name.localeCompare(b.name, lang) || (a.id < b.id ? -1 : a.id > b.id ? 1 : 0);
  }

  // Size the grid so that every tile shows at once where it can.
  function layout() {
    const count = Math.max(1, machines.size);
    const width = tiles.clientWidth;
    const height = window.innerHeight - tiles.getBoundingClientRect().top - 8;
    let columns = width < 480 ? 1 : width < 900 ? 2 : 1;
    let tileHeight = 150;
    if (width >= 900) {
      let best = 0;
      for (let c = 1; c <= count; ++c) {
        const rows = Math.ceil(count / c);
        const size = Math.min(width / c / 1.7, height / rows);
        if (size > best) {
          best = size;
          columns = c;
        }
      }
      tileHeight = Math.max(90, Math.floor(height / Math.ceil(count / columns)) - 8);
    }
    tiles.style.setProperty('--columns', String(columns));
    tiles.style.setProperty('--tile-height', `${tileHeight}px`);
  }

  function showTotals() {
    const totals = { running: 0, idle: 0, alarm: 0, offline: 0 };
    let utilization = 0;
    for (const machine of machines.values()) {
      const key = machine.state === 'connecting' ? 'offline' : machine.state;
      if (key in totals) totals[key] += 1;
      utilization += machine.utilization || 0;
    }
    for (const key of Object.keys(totals)) document.querySelector(`[data-total="${key}"]`).textContent = String(totals[key]);
    document.querySelector('[data-total="utilization"]').textContent = percent(machines.size ? utilization / machines.size : 0);
  }

  function render() {
    renderTimer = null;
    for (const [id, tile] of elements) {
      if (!machines.has(id)) {
        tile.remove();
        elements.delete(id);
      }
    }
    for (const id of dirty) {
      const machine = machines.get(id);
      if (!machine) continue;
      let tile = elements.get(id);
      if (!tile) {
        tile = template.content.firstElementChild.cloneNode(true);
        tile.dataset.machine = id;
        elements.set(id, tile);
      }
      fill(tile, machine);
    }
    dirty.clear();
    const sorted = Array.from(machines.values()).sort(compare);
    let previous = null;
    for (const machine of sorted) {
      const tile = elements.get(machine.id);
      const expected = previous ? previous.nextSibling : tiles.firstChild;
      if (tile !== expected) tiles.insertBefore(tile, expected);
      previous = tile;
    }
    showTotals();
    layout();
  }

  function schedule() {
    if (renderTimer === null) renderTimer = window.setTimeout(render, 30);
  }

  function take(list) {
    machines.clear();
    for (const machine of list) {
      machines.set(machine.id, machine);
      dirty.add(machine.id);
    }
    schedule();
  }

  function setLive(now) {
    if (live === now) return;
    live = now;
    connection.hidden = now || !failed;
    for (const tile of elements.values()) tile.classList.toggle('stale', !now);
    if (now && pollTimer !== null) {
      window.clearInterval(pollTimer);
      pollTimer = null;
    } else if (!now && pollTimer === null) {
      pollTimer = window.setInterval(poll, 5000);
    }
  }

  function poll() {
    fetch('/api/fleet', { cache: 'no-store' })
      .then((response) => (response.ok ? response.json() : Promise.reject(response.status)))
      .then(take)
      .catch(() => {});
  }

  function connect() {
    const source = new EventSource('/events');
    source.addEventListener('fleet', (event) => {
      take(JSON.parse(event.data));
      setLive(true);
    });
    source.addEventListener('machine', (event) => {
      const machine = JSON.parse(event.data);
      machines.set(machine.id, machine);
      dirty.add(machine.id);
      schedule();
    });
    source.addEventListener('error', () => {
      failed = true;
      connection.hidden = live;
      setLive(false);
      if (source.readyState === EventSource.CLOSED) {
        source.close();
        window.setTimeout(connect, 3000);
      }
    });
  }

  order.addEventListener('change', () => {
    window.localStorage.setItem('vexa-order', order.value);
    render();
  });
  window.addEventListener('resize', layout);
  window.setInterval(() => {
    for (const [id, tile] of elements) showSince(tile, machines.get(id));
  }, 1000);

  // Not live until the stream says otherwise; lost when it has not in 3 s.
  live = true;
  setLive(false);
  window.setTimeout(() => {
    failed = true;
    connection.hidden = live;
  }, 3000);
  fetch(`/assets/texts-${lang}.json`)
    .then((response) => response.json())
    .then((loaded) => {
      texts = loaded;
      showTexts();
    })
    .catch(() => {})
    .finally(connect);
})();
