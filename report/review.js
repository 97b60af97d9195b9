// The review page: shows the location the review stands at, its proposed
// cue engraved (by the same Verovio and options as the report), and sends
// the user's decisions to the ostinel command as the review's own answers
// ("c", "s", "t 2,3", "r 1 8-12", "n NAME", "p", "q"): the command works
// them through the plug-in's dialog exactly as at the terminal.
'use strict';

const token = new URLSearchParams(window.location.search).get('token') || '';
const withToken = (path) => `${path}?token=${encodeURIComponent(token)}`;
const $ = (id) => document.getElementById(id);

let toolkit = null;
let state = null;
let waiting = false;  // an answer or a search under way
let shownLocation = 0;

function lines(element, texts) {
  element.replaceChildren(...(texts || []).map((text) => {
    const p = document.createElement('p');
    p.textContent = text;
    return p;
  }));
}

function engraved(figure) {
  const element = document.createElement('figure');
  const caption = document.createElement('figcaption');
  caption.textContent = figure.caption;
  element.append(caption);
  try {
    element.insertAdjacentHTML('beforeend', window.figures.engrave(toolkit, figure.musicxml, figure.id));
    element.className = 'engraved';
  } catch (error) {
    const why = document.createElement('p');
    why.textContent = `Not engraved: ${error.message || error}`;
    element.className = 'missing';
    element.append(why);
  }
  return element;
}

function show() {
  if (!state || !toolkit) return;
  $('title').textContent = `Cue notes: ${state.title}`;
  $('status').textContent = state.done ? '' : state.busy ? 'The plug-in is searching…' : '';
  lines($('said'), state.said);
  $('written').replaceChildren(...(state.written || []).map(engraved));
  $('locations').replaceChildren(...(state.locations || []).map((location, i) => {
    const row = document.createElement('tr');
    if (!state.done && !state.busy && i + 1 === state.locations.length) row.className = 'current';
    for (const text of [String(i + 1), location.staff, location.rest, location.decision || 'deciding']) {
      const cell = document.createElement('td');
      cell.textContent = text;
      row.append(cell);
    }
    return row;
  }));
  $('current').hidden = state.done || state.busy || !state.current;
  $('end').hidden = !state.done;
  if (state.done) {
    lines($('summary'), state.summary);
    $('report-link').hidden = !state.report;
    $('report-link').href = withToken('/report');
    return;
  }
  if (state.busy || !state.current) return;
  const current = state.current;
  if (current.number !== shownLocation) {
    shownLocation = current.number;
    $('name').value = '';
  }
  $('heading').textContent = `${current.number}. ${current.staff}: rest in ${current.rest}`;
  lines($('lines'), current.lines);
  $('figures').replaceChildren(...current.figures.map(engraved));
  $('staves').replaceChildren(...state.staves.map((staff) => {
    const label = document.createElement('label');
    const box = document.createElement('input');
    box.type = 'checkbox';
    box.value = staff.slot;
    box.checked = current.chosen.includes(staff.slot);
    label.append(box, ` ${staff.name}`);
    return label;
  }));
  $('source-staff').replaceChildren(...state.staves.map((staff) => {
    const option = document.createElement('option');
    option.value = staff.slot;
    option.textContent = staff.name;
    return option;
  }));
  if (current.source) {
    $('source-staff').value = current.source.slot;
    $('source-from').value = current.source.from;
    $('source-to').value = current.source.to;
  }
  for (const button of document.querySelectorAll('#current button')) button.disabled = false;
}

async function load() {
  try {
    const response = await fetch(withToken('/api/state'), { cache: 'no-store' });
    if (!response.ok) throw new Error(`the command answered ${response.status}`);
    state = await response.json();
  } catch (error) {
    $('status').textContent = `The review has ended: the ostinel command no longer answers (${error.message}).`;
    return;
  }
  show();
  waiting = state.busy;
  if (state.busy) setTimeout(load, 250);
}

async function answer(text) {
  if (waiting || !state) return;
  waiting = true;
  for (const button of document.querySelectorAll('#current button')) button.disabled = true;
  try {
    const response = await fetch(withToken('/api/answer'), {
      method: 'POST',
      headers: { 'Content-Type': 'application/json' },
      body: JSON.stringify({ version: state.version, answer: text }),
    });
    const reply = await response.json();
    if (!response.ok) lines($('said'), [reply.error || `the command answered ${response.status}`]);
  } catch (error) {
    lines($('said'), [`The answer did not reach the command: ${error.message}`]);
  }
  waiting = false;
  await load();
}

$('create').addEventListener('click', () => answer('c'));
$('skip').addEventListener('click', () => answer('s'));
$('proposed').addEventListener('click', () => answer('p'));
$('stop').addEventListener('click', () => answer('q'));
$('choose').addEventListener('click', () => {
  const slots = [...document.querySelectorAll('#staves input:checked')].map((box) => box.value);
  answer(`t ${slots.join(',')}`);
});
$('take').addEventListener('click', () => {
  answer(`r ${$('source-staff').value} ${$('source-from').value.trim()}-${$('source-to').value.trim()}`);
});
$('name-button').addEventListener('click', () => answer(`n ${$('name').value}`));
$('finish').addEventListener('click', async () => {
  await fetch(withToken('/api/finish'), { method: 'POST' });
  $('status').textContent = 'Finished: this page can be closed.';
  $('end').hidden = true;
});

function start() {
  toolkit = new window.verovio.toolkit();
  toolkit.setOptions(window.figures.options);
  $('status').textContent = '';
  load();
}
if (window.verovio.module.calledRun) start();
else window.verovio.module.onRuntimeInitialized = start;
