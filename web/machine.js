// A machine's page: its tile, today's timeline in the cards' colours and the
// last writes and deletes, read from /api/machine/ID every 5 s. Every text
// from the server is set with textContent.
'use strict';

(function () {
  const lang = document.documentElement.lang === 'en' ? 'en' : 'zh';
  const id = decodeURIComponent(window.location.pathname.slice('/machine/'.length));
  const section = document.getElementById('machine');
  const timeline = document.getElementById('timeline');
  const connection = document.getElementById('connection');
  const back = document.getElementById('back');
  const rows = document.querySelector('#operations tbody');
  const dayMs = 24 * 3600 * 1000;
  let texts = { states: {} };

  back.href = `/?lang=${lang}`;

  function text(key) {
    return key in texts.states ? texts.states[key] : texts[key] || '';
  }

  function part(name) {
    return section.querySelector(`.${name}`);
  }

  function duration(ms) {
    const seconds = Math.max(0, Math.floor(ms / 1000));
    const h = Math.floor(seconds / 3600);
    const m = String(Math.floor((seconds % 3600) / 60)).padStart(2, '0');
    const s = String(seconds % 60).padStart(2, '0');
    return `${h}:${m}:${s}`;
  }

  function clock(iso) {
    return new Date(Date.parse(iso)).toLocaleTimeString(lang === 'en' ? 'en-GB' : 'zh-CN');
  }

  function showTexts() {
    for (const element of document.querySelectorAll('[data-text]')) element.textContent = text(element.dataset.text);
    back.textContent = `← ${text('back')}`;
    connection.textContent = text('lost');
    const hours = document.getElementById('hours');
    hours.replaceChildren();
    for (let hour = 0; hour <= 24; hour += 3) {
      const label = document.createElement('span');
      label.textContent = String(hour);
      label.style.left = `${(hour / 24) * 100}%`;
      hours.append(label);
    }
  }

  function show(machine) {
    document.getElementById('name').textContent = machine.name;
    document.title = machine.name;
    section.dataset.state = machine.state;
    part('state').textContent = text(machine.state) || machine.state;
    part('since').textContent = duration(Date.now() - Date.parse(machine.since));
    part('program').textContent = machine.program || '';
    const pieces = machine.pieces === null ? '' : String(machine.pieces);
    part('pieces').textContent = machine.target ? `${pieces} / ${machine.target}` : pieces;
    const share = machine.target > 0 && machine.pieces !== null ? Math.min(1, machine.pieces / machine.target) : 0;
    part('fill').style.width = `${share * 100}%`;
    part('utilization').textContent = `${text('utilization')} ${Math.round(machine.utilization * 100)}%`;
    part('reason').textContent = machine.reason || '';

    const day = Date.parse(machine.day);
    timeline.replaceChildren();
    for (const period of machine.periods) {
      const from = Date.parse(period.from) - day;
      const to = Date.parse(period.to) - day;
      const band = document.createElement('div');
      band.className = 'band';
      band.dataset.state = period.state;
      band.title = `${text(period.state)} ${clock(period.from)} – ${clock(period.to)}`;
      band.style.left = `${(from / dayMs) * 100}%`;
      band.style.width = `${(Math.max(0, to - from) / dayMs) * 100}%`;
      timeline.append(band);
    }

    rows.replaceChildren();
    for (const operation of machine.operations) {
      const row = document.createElement('tr');
      const cells = [
        clock(operation.time),
        text(operation.kind) || operation.kind,
        operation.target,
        operation.ok ? text('ok') : `${text('failed')} (${operation.result})`,
        String(operation.bytes),
      ];
      for (const value of cells) {
        const cell = document.createElement('td');
        cell.textContent = value;
        row.append(cell);
      }
      rows.append(row);
    }
    document.getElementById('none').hidden = machine.operations.length > 0;
  }

  function load() {
    fetch(`/api/machine/${encodeURIComponent(id)}`, { cache: 'no-store' })
      .then((response) => {
        if (response.status === 404) {
          document.getElementById('unknown').hidden = false;
          return null;
        }
        return response.ok ? response.json() : Promise.reject(response.status);
      })
      .then((machine) => {
        connection.hidden = true;
        section.classList.remove('stale');
        if (machine) show(machine);
      })
      .catch(() => {
        connection.hidden = false;
        section.classList.add('stale');
      });
  }

  fetch(`/assets/texts-${lang}.json`)
    .then((response) => response.json())
    .then((loaded) => {
      texts = loaded;
      showTexts();
    })
    .catch(() => {})
    .finally(() => {
      load();
      window.setInterval(load, 5000);
    });
})();
