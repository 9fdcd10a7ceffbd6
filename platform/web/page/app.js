// The page of pla013-web. The form lives on the server; this script draws it
// from the form's control tree, sends what the user does as the form's own
// steps (type, focus, click, select), one action at a time, and shows what
// comes back: changed controls, the focus, messages, dialogs, progress and
// finished reports. Every text is set as text, never as markup.
'use strict';
(() => {
  const $ = (id) => document.getElementById(id);
  const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

  function h(tag, attrs, ...children) {
    const el = document.createElement(tag);
    for (const [k, v] of Object.entries(attrs || {})) {
      if (v === null || v === undefined || v === false) continue;
      if (k === 'class') el.className = v;
      else if (k.startsWith('on')) el.addEventListener(k.slice(2), v);
      else el.setAttribute(k, v === true ? '' : String(v));
    }
    for (const c of children) if (c !== null && c !== undefined) el.append(c);
    return el;
  }

  // ------------------------------------------------------------ state
  let session = null;        // /api/session: operator, branches, csrf
  let formId = null;
  let branch = null;
  let seq = 0;               // the last event read
  let formInfo = null;       // the form's own state (caption, size)
  const model = new Map();   // control name: its state as the server last sent it
  const els = new Map();     // control name: { outer, input, inner }
  let active = null;         // the control the server's focus is on
  let pageFocus = null;      // the control the page's focus is on
  let busy = false;
  let ended = null;
  const queue = [];          // user actions waiting their turn
  let sending = false;
  let settleWaiters = [];
  const modals = [];         // dialogs waiting their turn
  let modal = null;          // the dialog shown
  let lastProgress = null;

  // Tab order of the toolbar: the form's speed buttons stand for it.
  const toolbarOf = { sbtPrint: ['print'], sbtPreview: ['preview'], sbtSalvarComo: ['save-pdf', 'save-xlsx', 'save-csv'] };
  const editKinds = new Set(['TEdit', 'TMaskEdit', 'TSpinEdit', 'TDateEditPlus']);
  const focusKinds = new Set([...editKinds, 'TComboBox', 'TCheckBox', 'TRadioButton', 'TRadioGroup', 'TBtnPesquisa', 'TSpeedButton']);

  // ------------------------------------------------------------ server
  async function api(method, url, body) {
    const init = { method, headers: {}, credentials: 'same-origin', cache: 'no-store' };
    if (body !== undefined) {
      init.headers['Content-Type'] = 'application/json';
      init.body = JSON.stringify(body);
    }
    if (method !== 'GET' && session) init.headers['X-CSRF-Token'] = session.csrf;
    try {
      const r = await fetch(url, init);
      let data = null;
      try { data = await r.json(); } catch (e) { data = null; }
      return { status: r.status, data };
    } catch (e) {
      return { status: 0, data: null };
    }
  }
  const errorText = (r, fallback) => (r.data && r.data.error && r.data.error.message) || fallback || 'O servidor não respondeu; tente de novo.';

  // ------------------------------------------------------------ screens
  function show(section) {
    for (const id of ['signin', 'branches', 'workspace', 'closed']) $(id).hidden = id !== section;
    $('bar').hidden = section === 'signin';
    if (section !== 'workspace') hideProgress();
  }

  function showSignin(message) {
    stopForm();
    session = null;
    show('signin');
    $('signin-message').textContent = message || '';
    $('password').value = '';
    ($('operator').value ? $('password') : $('operator')).focus();
  }

  async function signIn(ev) {
    ev.preventDefault();
    $('signin-button').disabled = true;
    const r = await api('POST', '/api/session', { operator: $('operator').value.trim(), password: $('password').value });
    $('signin-button').disabled = false;
    $('password').value = '';
    if (r.status === 200 && r.data && r.data.signedIn) {
      session = r.data;
      afterSignIn();
      return;
    }
    $('signin-message').textContent = errorText(r);
    $('password').focus();
  }

  function afterSignIn() {
    $('who').textContent = `${session.name} (${session.operator})`;
    $('switch-branch').hidden = session.all || session.branches.length < 2;
    let saved = null;
    try { saved = JSON.parse(sessionStorage.getItem('pla013.form') || 'null'); } catch (e) { saved = null; }
    if (saved && saved.operator === session.operator) attach(saved.id, saved.branch);
    else firstForm();
  }

  function firstForm() {
    if (session.all) openForm(null);
    else if (session.branches.length === 1) openForm(session.branches[0].code);
    else chooseBranch();
  }

  function chooseBranch() {
    stopForm();
    show('branches');
    const list = $('branch-list');
    list.replaceChildren();
    for (const b of session.branches)
      list.append(h('li', null, h('button', { type: 'button', id: `branch-${b.code}`, onclick: () => openForm(b.code) }, `${b.code} — ${b.name}`)));
    const first = list.querySelector('button');
    if (first) first.focus();
  }

  function whereText() {
    if (session.all) return `Todas as filiais (escritório: ${session.officeBranch})`;
    const b = session.branches.find((x) => x.code === branch);
    return b ? `Filial ${b.code} — ${b.name}` : `Filial ${branch}`;
  }

  async function openForm(code) {
    const r = await api('POST', '/api/forms', code ? { branch: code } : {});
    if (r.status === 401) return showSignin(errorText(r));
    if (r.status !== 200) return showClosed(errorText(r, 'O formulário não pôde ser aberto.'));
    startForm(r.data.id, r.data.branch);
  }

  async function attach(id, br) {
    const r = await api('GET', `/api/forms/${encodeURIComponent(id)}?snapshot=1`);
    if (r.status !== 200 || (r.data && r.data.ended)) {
      sessionStorage.removeItem('pla013.form');
      return firstForm();
    }
    startForm(id, br, r.data);
  }

  function startForm(id, br, snapshot) {
    stopForm();
    formId = id;
    branch = br;
    sessionStorage.setItem('pla013.form', JSON.stringify({ id, branch: br, operator: session.operator }));
    $('where').textContent = whereText();
    show('workspace');
    if (snapshot) applySnapshot(snapshot);
    pump(id);
  }

  function stopForm() {
    formId = null;
    seq = 0;
    ended = null;
    queue.length = 0;
    model.clear();
    els.clear();
    active = pageFocus = null;
    formInfo = null;
    $('form').replaceChildren();
    closeModals();
    hideProgress();
    settle();
  }

  function showClosed(text) {
    const keep = formId;
    stopForm();
    sessionStorage.removeItem('pla013.form');
    show('closed');
    $('closed-message').textContent = text;
    $('reopen').focus();
    return keep;
  }

  const closedTexts = {
    inatividade: () => `O formulário foi fechado depois de ${session.idle} sem uso. Seus filtros foram guardados.`,
    fechado: () => 'O formulário foi fechado.',
    erro: () => 'O formulário parou por um erro no servidor. Seus filtros guardados continuam valendo.',
    servidor: () => 'O servidor foi desligado; abra o formulário de novo.',
    perdido: () => 'O formulário não está mais aberto neste servidor (ele pode ter sido reiniciado). Seus filtros guardados continuam valendo.',
  };

  function onClosed(reason) {
    ended = reason;
    if (reason === 'saida') return showSignin('A sessão foi encerrada.');
    showClosed((closedTexts[reason] || closedTexts.fechado)());
  }

  // ------------------------------------------------------------ events
  async function pump(id) {
    while (formId === id && !ended) {
      const r = await api('GET', `/api/forms/${encodeURIComponent(id)}?after=${seq}&wait=20000`);
      if (formId !== id) return;
      if (r.status === 200) handleBatch(r.data);
      else if (r.status === 404) return onClosed('perdido');
      else if (r.status === 401) return showSignin(errorText(r));
      else await sleep(1500);
    }
  }

  async function resync() {
    const r = await api('GET', `/api/forms/${encodeURIComponent(formId)}?snapshot=1`);
    if (r.status === 200) applySnapshot(r.data);
  }

  function applySnapshot(s) {
    seq = s.seq;
    build(s.form, s.controls);
    active = s.active;
    busy = s.busy;
    if (s.dialog) pushModal(() => choiceDialog(s.dialog));
    if (s.busy && s.progress) showProgress(s.progress);
    if (s.ended) return onClosed(s.ended);
    renderAll();
    settle();
    applyFocus();
  }

  function handleBatch(b) {
    if (!b || !formId) return;
    if (b.resync) return resync();
    // An answer that left the server before one already read says nothing
    // new about the form's state.
    if (b.seq < seq) return;
    for (const e of b.events || []) {
      if (e.n <= seq) continue;
      seq = e.n;
      onEvent(e);
      if (!formId) return;
    }
    busy = b.busy;
    renderAll();
    if (!b.busy) hideProgress();
    if (!b.busy || b.dialog || b.ended) settle();
    applyFocus();
  }

  function onEvent(e) {
    switch (e.t) {
      case 'layout': build(e.form, e.controls); break;
      case 'controls': for (const c of e.controls) model.set(c.Name, c); break;
      case 'form': formInfo = e.form; $('form-caption').textContent = e.form ? e.form.Caption : ''; break;
      case 'focus': active = e.control; break;
      case 'done': active = e.active; break;
      case 'message': pushModal(() => messageDialog(e.kind, e.text)); break;
      case 'dialog': pushModal(() => choiceDialog(e)); break;
      case 'progress': showProgress(e); break;
      case 'report': hideProgress(); onReport(e); break;
      case 'closed': onClosed(e.reason); break;
      case 'error': console.warn('pla013:', e.text); break;
      default: break;
    }
  }

  // ------------------------------------------------------------ actions
  // One action at a time: the next goes when the form has settled. An action
  // that expected the focus somewhere the form did not put it (a field's
  // check refused) drops the ones queued after it; what the user typed
  // meanwhile stays in its field and goes when the field is left.
  function enqueue(action) {
    if (!formId || ended) return;
    queue.push(action);
    drain();
  }

  function settled() {
    return new Promise((resolve) => settleWaiters.push(resolve));
  }

  function settle() {
    const waiters = settleWaiters;
    settleWaiters = [];
    for (const w of waiters) w();
  }

  async function drain() {
    if (sending || modal || !formId) return;
    const action = queue.shift();
    if (!action) return;
    sending = true;
    for (const [name, value] of action.typed || []) {
      const made = els.get(name);
      if (made && made.input) made.input.dataset.sent = value;
    }
    const id = formId;
    const r = await api('POST', `/api/forms/${encodeURIComponent(id)}`, { ...action.body, after: seq });
    if (formId !== id) { sending = false; return; }
    if (r.status === 200 || r.status === 409) handleBatch(r.data);
    else if (r.status === 404) { sending = false; return onClosed('perdido'); }
    else if (r.status === 401) { sending = false; return showSignin(errorText(r)); }
    else pushModal(() => messageDialog('error', errorText(r)));
    // A long run goes on; the events read meanwhile end it.
    if (r.status === 200 && busy && !(r.data && r.data.dialog)) await settled();
    sending = false;
    if (action.expect && active !== action.expect) queue.length = 0;
    applyFocus();
    drain();
  }

  function post(body) {
    if (!formId) return Promise.resolve();
    return api('POST', `/api/forms/${encodeURIComponent(formId)}`, { ...body, after: seq }).then((r) => {
      if (r.status === 200 || r.status === 409) handleBatch(r.data);
    });
  }

  // The text of the field the page is in, when it differs from the form's.
  function flush() {
    const name = pageFocus;
    const c = model.get(name);
    const made = els.get(name);
    if (!c || !made || !editKinds.has(c.Kind) || !made.input) return { steps: [], typed: [] };
    let value = made.input.value;
    if (c.Kind === 'TDateEditPlus') value = normalDate(value);
    if (value === (c.Text || '')) return { steps: [], typed: [] };
    return { steps: [['type', name, value]], typed: [[name, value]] };
  }

  function focusEntered(name) {
    if (!name || name === pageFocus || !formId) return;
    const { steps, typed } = flush();
    steps.push(['focus', name]);
    pageFocus = name;
    enqueue({ body: { do: 'steps', steps }, typed, expect: name });
  }

  function act(step) {
    const { steps, typed } = flush();
    steps.push(step);
    enqueue({ body: { do: 'steps', steps }, typed });
  }

  function runReport(format) {
    const { steps, typed } = flush();
    if (steps.length) enqueue({ body: { do: 'steps', steps }, typed });
    enqueue({ body: { do: 'report', format } });
  }

  // ------------------------------------------------------------ drawing
  function build(form, list) {
    const root = $('form');
    root.replaceChildren();
    els.clear();
    model.clear();
    formInfo = form;
    $('form-caption').textContent = form ? form.Caption : '';
    if (!form) return;
    for (const c of list) model.set(c.Name, c);
    const kids = new Map();
    for (const c of list) {
      const p = c.Parent || '';
      if (!kids.has(p)) kids.set(p, []);
      kids.get(p).push(c);
    }
    root.style.width = `${form.Width}px`;
    root.style.height = `${form.Height}px`;
    place(root, '', kids);
    pageFocus = null;
    renderAll();
    fit();
  }

  // Where a control comes in the tab order; a field only ever shown (a
  // name looked up) does not place its row.
  function firstTab(c, kids) {
    if (c.Kind === 'TSpeedButton') return Infinity;  // the toolbar's, drawn apart
    if (c.Tab >= 0 && !c.ReadOnly) return c.Tab;
    let best = Infinity;
    for (const k of kids.get(c.Name) || []) best = Math.min(best, firstTab(k, kids));
    return best;
  }

  // Children as rows (controls side by side), the rows in tab order: drawn
  // at their places they look as designed; flowing, they read in tab order.
  function rows(list, kids) {
    const byTop = [...list].sort((a, b) => a.Top - b.Top || a.Left - b.Left);
    const out = [];
    for (const c of byTop) {
      const last = out[out.length - 1];
      if (last && c.Top <= last.top + 8) last.items.push(c);
      else out.push({ top: c.Top, items: [c] });
    }
    let previous = -1;
    for (const r of out) {
      r.items.sort((a, b) => a.Left - b.Left);
      const key = Math.min(...r.items.map((c) => firstTab(c, kids)));
      r.key = Number.isFinite(key) ? key : previous + 0.001;
      previous = r.key;
    }
    return out.sort((a, b) => a.key - b.key).map((r) => r.items);
  }

  function place(container, parent, kids) {
    const list = (kids.get(parent) || []).filter((c) => c.Kind !== 'TSpeedButton');
    for (const row of rows(list, kids)) {
      const line = h('div', { class: 'row' });
      for (const c of row) {
        const made = make(c);
        els.set(c.Name, made);
        line.append(made.outer);
        if (made.inner) place(made.inner, c.Name, kids);
      }
      container.append(line);
    }
  }

  function make(c) {
    const name = c.Name;
    let outer;
    let input = null;
    let inner = null;
    switch (c.Kind) {
      case 'TLabel': outer = h('span', { id: name, class: 'c label' }); break;
      case 'TBevel': outer = h('div', { id: name, class: 'c bevel' }); break;
      case 'TPanel': outer = inner = h('div', { id: name, class: 'c panel' }); break;
      case 'TNotebook': outer = inner = h('div', { id: name, class: 'c notebook' }); break;
      case 'TPage': outer = inner = h('div', { id: name, class: 'c page' }); break;
      case 'TGroupBox': outer = inner = h('div', { id: name, class: 'c group', role: 'group' }, h('span', { class: 'caption' })); break;
      case 'TRadioGroup': outer = h('div', { id: name, class: 'c group radiogroup', role: 'radiogroup' }, h('span', { class: 'caption' }), h('div', { class: 'items' })); break;
      case 'TComboBox': outer = input = h('select', { id: name, class: 'c field' }); break;
      case 'TCheckBox':
      case 'TRadioButton':
        input = h('input', { id: name, type: c.Kind === 'TCheckBox' ? 'checkbox' : 'radio' });
        outer = h('label', { class: 'c check' }, input, h('span'));
        break;
      case 'TBtnPesquisa':
        outer = input = h('button', { id: name, type: 'button', class: 'c search', title: `${c.Title || 'Pesquisar'} (F4)`, 'aria-label': c.Title || 'Pesquisar' }, '…');
        input.addEventListener('mousedown', (ev) => ev.preventDefault());
        break;
      case 'TDateEditPlus': {
        input = h('input', { id: name, type: 'text', maxlength: 10, inputmode: 'numeric', autocomplete: 'off' });
        const pick = h('button', { type: 'button', id: `${name}-calendar`, tabindex: -1, title: 'Calendário (F4)', 'aria-label': 'Calendário' }, '▾');
        pick.addEventListener('mousedown', (ev) => ev.preventDefault());
        pick.addEventListener('click', () => calendar(name));
        outer = h('span', { class: 'c date field' }, input, pick);
        break;
      }
      case 'TSpinEdit': outer = input = h('input', { id: name, type: 'number', class: 'c field' }); break;
      default: outer = input = h('input', { id: name, type: 'text', class: 'c field', spellcheck: 'false', autocomplete: 'off' }); break;
    }
    outer.style.left = `${c.Left}px`;
    outer.style.top = `${c.Top}px`;
    outer.style.width = `${c.Width}px`;
    outer.style.height = `${c.Height}px`;
    if (input) wire(input, name, c.Kind);
    return { outer, input, inner };
  }

  function wire(input, name, kind) {
    input.dataset.name = name;
    input.addEventListener('focus', () => focusEntered(name));
    if (kind === 'TCheckBox' || kind === 'TRadioButton') {
      input.addEventListener('click', (ev) => { ev.preventDefault(); act(['click', name]); });
    } else if (kind === 'TComboBox') {
      input.addEventListener('change', () => act(['select', name, String(input.selectedIndex)]));
    } else if (kind === 'TBtnPesquisa') {
      input.addEventListener('click', () => act(['click', name]));
    }
  }

  function enabledChain(c) {
    for (let x = c; x; x = x.Parent ? model.get(x.Parent) : null) if (!x.Enabled) return false;
    return true;
  }

  function showing(c) {
    for (let x = c; x; x = x.Parent ? model.get(x.Parent) : null) {
      if (!x.Visible) return false;
      if (x.Kind === 'TPage') {
        const book = model.get(x.Parent);
        if (book && book.ActivePage !== x.Caption) return false;
      }
    }
    return true;
  }

  function canFocus(c) {
    if (!c || c.Tab < 0 || !focusKinds.has(c.Kind)) return false;
    if (c.Kind === 'TRadioGroup' && !c.ItemsEnabled) return false;
    return showing(c) && enabledChain(c);
  }

  function maskLength(mask) {
    const chars = (mask || '').split(';')[0];
    let n = 0;
    for (const ch of chars) if ('90aAcClL#'.includes(ch)) n += 1;
    return n;
  }

  function setOptions(select, items) {
    const key = JSON.stringify(items);
    if (select.dataset.items === key) return;
    select.dataset.items = key;
    select.replaceChildren(...items.map((t) => h('option', null, t)));
  }

  function renderAll() {
    for (const [name, made] of els) {
      const c = model.get(name);
      if (c) render(c, made);
    }
    const printable = model.get('sbtPreview');
    for (const id of ['print', 'preview', 'save-pdf', 'save-xlsx', 'save-csv']) $(id).disabled = !formInfo || (printable && !printable.Enabled);
  }

  function render(c, made) {
    const { outer, input } = made;
    outer.hidden = !c.Visible || (c.Kind === 'TPage' && (model.get(c.Parent) || {}).ActivePage !== c.Caption);
    const on = enabledChain(c);
    outer.classList.toggle('off', !on);
    switch (c.Kind) {
      case 'TLabel': outer.textContent = c.Caption; break;
      case 'TGroupBox':
        outer.firstChild.textContent = c.Caption;
        outer.classList.toggle('titled', !!c.Caption);
        break;
      case 'TRadioGroup': {
        outer.firstChild.textContent = c.Caption;
        outer.classList.toggle('titled', !!c.Caption);
        const items = outer.lastChild;
        const key = JSON.stringify(c.Items);
        if (items.dataset.items !== key) {
          items.dataset.items = key;
          items.replaceChildren(...c.Items.map((t, i) => {
            const radio = h('input', { type: 'radio', id: `${c.Name}_${i}`, name: c.Name });
            radio.dataset.name = c.Name;
            radio.addEventListener('focus', () => focusEntered(c.Name));
            radio.addEventListener('click', (ev) => { ev.preventDefault(); act(['select', c.Name, String(i)]); });
            return h('label', { class: 'check' }, radio, h('span', null, t));
          }));
        }
        items.style.gridTemplateColumns = `repeat(${Math.max(1, c.Columns || 1)}, auto)`;
        items.querySelectorAll('input').forEach((r, i) => {
          r.checked = i === c.ItemIndex;
          r.disabled = !on || !c.ItemsEnabled;
        });
        break;
      }
      case 'TCheckBox':
      case 'TRadioButton':
        outer.lastChild.textContent = c.Caption;
        input.checked = !!c.Checked;
        input.disabled = !on;
        break;
      case 'TComboBox':
        setOptions(input, c.Items || []);
        if (input.selectedIndex !== c.ItemIndex) input.selectedIndex = c.ItemIndex;
        input.disabled = !on;
        break;
      case 'TBtnPesquisa': input.disabled = !on; break;
      default:
        if (!input) break;
        input.disabled = !on;
        input.readOnly = !!c.ReadOnly;
        input.classList.remove('clWindow', 'clInfoBk', 'clBtnFace');
        input.classList.add(c.Color);
        if (c.Kind === 'TMaskEdit' && maskLength(c.EditMask)) input.maxLength = maskLength(c.EditMask);
        if (c.Kind === 'TSpinEdit') {
          input.min = c.MinValue;
          input.max = c.MaxValue;
        }
        if (c.Kind === 'TDateEditPlus') outer.querySelector('button').disabled = !on;
        setText(input, c.Text || '');
        break;
    }
  }

  // What the user is typing is never overwritten: a field keeps its text
  // while it differs both from what the page last showed and from what it
  // last sent.
  function setText(input, text) {
    const shown = input.dataset.shown || '';
    const typing = input.value !== shown && input.value !== (input.dataset.sent || '');
    if (typing) return;
    if (input.value !== text) input.value = text;
    input.dataset.shown = text;
    input.dataset.sent = '';
  }

  function fit() {
    const root = $('form');
    if (!formInfo) return;
    if (matchMedia('(max-width: 700px)').matches) {
      root.style.transform = '';
      $('frame').style.height = '';
      return;
    }
    const frame = $('frame');
    const top = frame.getBoundingClientRect().top;
    const scale = Math.max(1, Math.min(2.2, (frame.clientWidth - 24) / formInfo.Width, (window.innerHeight - top - 24) / formInfo.Height));
    root.style.transform = `scale(${scale})`;
    frame.style.height = `${Math.ceil(formInfo.Height * scale) + 30}px`;
  }

  // ------------------------------------------------------------ focus
  function elementOf(name) {
    if (toolbarOf[name]) return $(toolbarOf[name][0]);
    const made = els.get(name);
    if (!made) return null;
    if (model.get(name) && model.get(name).Kind === 'TRadioGroup')
      return made.outer.querySelector('input:checked') || made.outer.querySelector('input');
    return made.input;
  }

  // The page follows the form's focus once the form has settled and no
  // dialog is up; a field entered so has its text selected.
  function applyFocus() {
    if (!active || modal || sending || queue.length || !formId) return;
    const el = elementOf(active);
    if (!el) return;
    if (pageFocus === active && document.activeElement === el) return;
    pageFocus = active;
    el.focus({ preventScroll: false });
    if (el.select && el.type === 'text') el.select();
  }

  // The keyboard's order: the form's tab order, passing by the boxes that
  // only show a value (a looked-up name, a weekday), as on the desktop.
  function tabList() {
    const out = [];
    for (const [name, c] of model) {
      if (!canFocus(c) || ((c.Kind === 'TEdit' || c.Kind === 'TMaskEdit') && c.ReadOnly)) continue;
      if (toolbarOf[name]) toolbarOf[name].forEach((id, i) => { if (!$(id).disabled) out.push({ tab: c.Tab + i / 10, el: $(id) }); });
      else if (els.has(name)) out.push({ tab: c.Tab, el: elementOf(name) });
    }
    return out.sort((a, b) => a.tab - b.tab);
  }

  function moveFocus(from, forward) {
    const list = tabList();
    if (!list.length) return;
    const i = list.findIndex((x) => x.el === from);
    const next = i < 0 ? list[0] : list[(i + (forward ? 1 : -1) + list.length) % list.length];
    next.el.focus();
    if (next.el.select && next.el.type === 'text') next.el.select();
  }

  function searchButtonOf(field) {
    for (const [name, c] of model) if (c.Kind === 'TBtnPesquisa' && c.Field === field) return name;
    return null;
  }

  function formKeys(ev) {
    const el = ev.target;
    const name = el.dataset && el.dataset.name;
    const onToolbar = el.closest && el.closest('#toolbar');
    if (!name && !onToolbar) return;
    const c = name ? model.get(name) : null;
    if (ev.key === 'Tab') {
      ev.preventDefault();
      moveFocus(el, !ev.shiftKey);
    } else if (ev.key === 'Enter' && c && (editKinds.has(c.Kind) || c.Kind === 'TComboBox')) {
      ev.preventDefault();
      moveFocus(el, true);
    } else if (ev.key === 'F4' && c) {
      ev.preventDefault();
      if (c.Kind === 'TDateEditPlus') return calendar(name);
      const button = searchButtonOf(name);
      if (button && canFocus(model.get(button))) act(['click', button]);
    }
  }

  // ------------------------------------------------------------ dialogs
  function pushModal(open) {
    modals.push(open);
    if (!modal) nextModal();
  }

  function nextModal() {
    const open = modals.shift();
    if (!open) {
      modal = null;
      $('overlay').hidden = true;
      applyFocus();
      drain();
      return;
    }
    modal = open() || {};
  }

  function closeModal() {
    $('dialog').replaceChildren();
    $('dialog').className = '';
    nextModal();
  }

  function closeModals() {
    modals.length = 0;
    modal = null;
    $('dialog').replaceChildren();
    $('overlay').hidden = true;
  }

  function dialogFrame(cls, title, ...body) {
    const d = $('dialog');
    d.className = cls;
    d.setAttribute('aria-label', title);
    d.replaceChildren(h('h2', null, title), ...body.filter((x) => x !== null && x !== undefined));
    $('overlay').hidden = false;
    return d;
  }

  function trapTab(ev) {
    if (ev.key !== 'Tab') return;
    const items = [...$('dialog').querySelectorAll('button, input, iframe, [tabindex="0"]')].filter((x) => !x.disabled && x.tabIndex >= 0);
    if (!items.length) return;
    const i = items.indexOf(document.activeElement);
    ev.preventDefault();
    items[(i + (ev.shiftKey ? -1 : 1) + items.length) % items.length].focus();
  }

  function messageDialog(kind, text) {
    const ok = h('button', { type: 'button', id: 'message-ok' }, 'OK');
    const d = dialogFrame(kind === 'error' ? 'error message' : 'message', kind === 'error' ? 'Erro' : 'Mensagem',
      h('p', { class: 'text', id: 'message-text' }, text), h('div', { class: 'buttons' }, ok));
    const close = () => { d.removeEventListener('keydown', keys); closeModal(); };
    const keys = (ev) => {
      if (ev.key === 'Enter' || ev.key === 'Escape') { ev.preventDefault(); close(); } else trapTab(ev);
    };
    ok.addEventListener('click', close);
    d.addEventListener('keydown', keys);
    ok.focus();
    return { close };
  }

  const folded = (t) => String(t).normalize('NFD').replace(/[\u0300-\u036f]/g, '').toLowerCase();
  const kMostRows = 500;

  // A search (one row) or a list (rows checked): a filter box that finds a
  // text in any column without regard to accents or case; the keyboard alone
  // does everything (arrows, Space, Enter, Esc).
  function choiceDialog(e) {
    const many = e.kind === 'list';
    const filter = h('input', { type: 'text', class: 'filter', id: 'dialog-filter', 'aria-label': 'Procurar', placeholder: 'Procurar', autocomplete: 'off' });
    const tbody = h('tbody');
    const table = h('table', null, h('thead', null, h('tr', null, many ? h('th') : null, ...e.columns.map((col) => h('th', null, col.label)))), tbody);
    const count = h('span', { class: 'count', id: 'dialog-count' });
    const ok = h('button', { type: 'button', id: 'dialog-ok' }, 'OK');
    const cancel = h('button', { type: 'button', id: 'dialog-cancel' }, 'Cancelar');
    const rowsBox = h('div', { class: 'rows', id: 'dialog-rows', tabindex: 0, 'aria-label': 'Linhas' },
      e.rows.length ? table : h('p', { class: 'text' }, e.empty || 'Nenhum registro.'));
    const checked = new Set();
    const keys = e.keys.map(String);
    const texts = e.rows.map((r) => folded(r.join('\u001f')));
    let shown = [];
    let current = 0;
    const buttons = [];
    if (many) {
      buttons.push(h('button', { type: 'button', id: 'dialog-all', onclick: () => { shown.forEach((i) => checked.add(i)); draw(); } }, 'Marcar todos'));
      buttons.push(h('button', { type: 'button', id: 'dialog-none', onclick: () => { shown.forEach((i) => checked.delete(i)); draw(); } }, 'Desmarcar todos'));
    }
    const d = dialogFrame(many ? 'list' : 'search', e.title,
      e.subtitle ? h('p', { class: 'subtitle' }, e.subtitle) : null,
      filter, rowsBox,
      h('div', { class: 'buttons' }, count, ...buttons, ok, cancel));

    function draw() {
      const f = folded(filter.value.trim());
      shown = [];
      for (let i = 0; i < e.rows.length; i += 1) if (!f || texts[i].includes(f)) shown.push(i);
      current = Math.min(current, Math.max(0, shown.length - 1));
      tbody.replaceChildren(...shown.slice(0, kMostRows).map((i, at) => {
        const cells = e.rows[i].map((t) => h('td', null, t));
        const box = many ? h('td', null, h('input', { type: 'checkbox', tabindex: -1, 'aria-label': keys[i] })) : null;
        if (box) box.firstChild.checked = checked.has(i);
        const tr = h('tr', { class: at === current ? 'current' : null, 'data-key': keys[i] }, box, ...cells);
        tr.addEventListener('click', () => { current = at; if (many) toggle(i); else draw(); });
        tr.addEventListener('dblclick', () => { current = at; choose(); });
        return tr;
      }));
      const more = shown.length > kMostRows ? ` (mostrando ${kMostRows}; refine a busca)` : '';
      count.textContent = many ? `${checked.size} marcados; ${shown.length} de ${e.rows.length}${more}` : `${shown.length} de ${e.rows.length}${more}`;
      const row = tbody.children[current];
      if (row) row.scrollIntoView({ block: 'nearest' });
    }
    function toggle(i) {
      if (checked.has(i)) checked.delete(i); else checked.add(i);
      draw();
    }
    function choose() {
      if (many) {
        const chosen = [...checked].sort((a, b) => a - b).map((i) => keys[i]);
        finish({ kind: 'list', value: chosen });
      } else if (shown.length) {
        finish({ kind: 'search', value: keys[shown[current]] });
      }
    }
    function finish(answer) {
      d.removeEventListener('keydown', onKey);
      closeModal();
      post({ do: 'answer', ...answer });
    }
    function onKey(ev) {
      const onButton = ev.target.tagName === 'BUTTON';
      if (ev.key === 'ArrowDown' || ev.key === 'ArrowUp') {
        ev.preventDefault();
        current = Math.max(0, Math.min(Math.min(shown.length, kMostRows) - 1, current + (ev.key === 'ArrowDown' ? 1 : -1)));
        draw();
      } else if (ev.key === 'Enter' && !onButton) {
        ev.preventDefault();
        choose();
      } else if (ev.key === 'Escape') {
        ev.preventDefault();
        finish({ kind: e.kind, value: null });
      } else if (ev.key === ' ' && many && ev.target === rowsBox && shown.length) {
        ev.preventDefault();
        toggle(shown[current]);
      } else {
        trapTab(ev);
      }
    }
    filter.addEventListener('input', () => { current = 0; draw(); });
    ok.addEventListener('click', choose);
    cancel.addEventListener('click', () => finish({ kind: e.kind, value: null }));
    d.addEventListener('keydown', onKey);
    draw();
    filter.focus();
    return {};
  }

  // ------------------------------------------------------------ dates
  function normalDate(text) {
    const t = text.trim();
    let m = /^(\d{2})(\d{2})(\d{4})$/.exec(t);
    if (m) return `${m[1]}/${m[2]}/${m[3]}`;
    m = /^(\d{1,2})\/(\d{1,2})\/(\d{2})$/.exec(t);
    if (m) {
      const year = new Date().getFullYear();
      let full = 2000 + Number(m[3]);
      if (full > year + 20) full -= 100;
      return `${m[1].padStart(2, '0')}/${m[2].padStart(2, '0')}/${full}`;
    }
    return t;
  }

  const monthNames = ['janeiro', 'fevereiro', 'março', 'abril', 'maio', 'junho', 'julho', 'agosto', 'setembro', 'outubro', 'novembro', 'dezembro'];

  function calendar(name) {
    const made = els.get(name);
    if (!made || made.input.disabled) return;
    const m = /^(\d{2})\/(\d{2})\/(\d{4})$/.exec(normalDate(made.input.value));
    let day = m ? new Date(Number(m[3]), Number(m[2]) - 1, Number(m[1])) : new Date();
    if (Number.isNaN(day.getTime())) day = new Date();
    pushModal(() => {
      const title = h('strong', { id: 'calendar-month' });
      const grid = h('tbody');
      const move = (days, months) => {
        day = new Date(day.getFullYear(), day.getMonth() + months, day.getDate() + days);
        draw();
      };
      const d = dialogFrame('calendar', 'Escolha a data',
        h('div', { class: 'month' }, h('button', { type: 'button', onclick: () => move(0, -1), 'aria-label': 'Mês anterior' }, '‹'), title,
          h('button', { type: 'button', onclick: () => move(0, 1), 'aria-label': 'Próximo mês' }, '›')),
        h('table', null, h('thead', null, h('tr', null, ...['dom', 'seg', 'ter', 'qua', 'qui', 'sex', 'sáb'].map((w) => h('th', null, w)))), grid),
        h('div', { class: 'buttons' }, h('button', { type: 'button', onclick: () => done(null) }, 'Cancelar')));
      function draw() {
        title.textContent = `${monthNames[day.getMonth()]} de ${day.getFullYear()}`;
        const first = new Date(day.getFullYear(), day.getMonth(), 1);
        const cells = [];
        for (let i = 0; i < first.getDay(); i += 1) cells.push(h('td'));
        const last = new Date(day.getFullYear(), day.getMonth() + 1, 0).getDate();
        for (let n = 1; n <= last; n += 1) {
          const b = h('button', { type: 'button', class: n === day.getDate() ? 'chosen' : null, tabindex: n === day.getDate() ? 0 : -1 }, String(n));
          b.addEventListener('click', () => { day = new Date(day.getFullYear(), day.getMonth(), n); done(day); });
          cells.push(h('td', null, b));
        }
        const rowsOut = [];
        for (let i = 0; i < cells.length; i += 7) rowsOut.push(h('tr', null, ...cells.slice(i, i + 7)));
        grid.replaceChildren(...rowsOut);
        const chosen = grid.querySelector('.chosen');
        if (chosen) chosen.focus();
      }
      function done(date) {
        d.removeEventListener('keydown', keys);
        if (date) {
          const p = (n) => String(n).padStart(2, '0');
          made.input.value = `${p(date.getDate())}/${p(date.getMonth() + 1)}/${date.getFullYear()}`;
        }
        closeModal();
        made.input.focus();
      }
      function keys(ev) {
        const steps = { ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [-7, 0], ArrowDown: [7, 0], PageUp: [0, -1], PageDown: [0, 1] };
        if (steps[ev.key]) { ev.preventDefault(); move(...steps[ev.key]); } else if (ev.key === 'Enter') { ev.preventDefault(); done(day); } else if (ev.key === 'Escape') { ev.preventDefault(); done(null); }
      }
      d.addEventListener('keydown', keys);
      draw();
      return {};
    });
  }

  // ------------------------------------------------------------ reports
  function showProgress(e) {
    lastProgress = e;
    let text = 'Preparando o relatório…';
    if (e.stage === 'dados') text = e.total ? `Lendo os dados: ${e.done} linhas` : 'Lendo os dados…';
    else if (e.stage === 'paginas') text = e.total ? `Página ${e.done} de ${e.total}` : 'Contando as páginas…';
    else if (e.stage === 'gravacao') text = e.total ? `Página ${e.done} de ${e.total}` : 'Gravando…';
    $('progress-text').textContent = text;
    if ($('progress').hidden) {
      $('progress').hidden = false;
      $('cancel-run').focus();
    }
  }

  function hideProgress() {
    lastProgress = null;
    $('progress').hidden = true;
  }

  function download(url, name) {
    const a = h('a', { href: url, download: name });
    document.body.append(a);
    a.click();
    a.remove();
  }

  function onReport(e) {
    if (!e.url) {
      pushModal(() => messageDialog('error', 'O relatório foi feito, mas não pôde ser guardado para você; tente de novo.'));
      return;
    }
    if (e.target === 'file') download(e.url, e.name);
    else if (e.target === 'print') printReport(e.url);
    else pushModal(() => previewDialog(e));
  }

  function printReport(url) {
    const frame = $('print-frame');
    frame.onload = () => {
      frame.onload = null;
      frame.contentWindow.focus();
      frame.contentWindow.print();
    };
    frame.src = url;
  }

  function previewDialog(e) {
    let page = 1;
    const total = Math.max(1, e.pages || 1);
    const frame = h('iframe', { id: 'preview-frame', title: 'Página do relatório' });
    const where = h('span', { id: 'preview-page' });
    const number = h('input', { type: 'number', min: 1, max: total, 'aria-label': 'Ir para a página' });
    const go = (n) => {
      page = Math.max(1, Math.min(total, n));
      frame.src = `${e.url}?page=${page}`;
      where.textContent = `Página ${page} de ${total}`;
      number.value = page;
    };
    const close = () => { d.removeEventListener('keydown', keys); closeModal(); };
    const d = dialogFrame('preview', `${e.report} — ${total} ${total === 1 ? 'página' : 'páginas'}`,
      h('div', { class: 'nav' },
        h('button', { type: 'button', id: 'preview-first', onclick: () => go(1) }, '«'),
        h('button', { type: 'button', id: 'preview-prev', onclick: () => go(page - 1) }, '‹ Anterior'),
        where,
        h('button', { type: 'button', id: 'preview-next', onclick: () => go(page + 1) }, 'Próxima ›'),
        h('button', { type: 'button', id: 'preview-last', onclick: () => go(total) }, '»'),
        number,
        h('span', { class: 'grow' }),
        h('button', { type: 'button', id: 'preview-print', onclick: () => printReport(e.url) }, 'Imprimir'),
        h('button', { type: 'button', id: 'preview-close', onclick: close }, 'Fechar')),
      frame);
    number.addEventListener('change', () => go(Number(number.value) || 1));
    const keys = (ev) => {
      if (ev.key === 'Escape') { ev.preventDefault(); close(); } else if (ev.key === 'PageDown') { ev.preventDefault(); go(page + 1); } else if (ev.key === 'PageUp') { ev.preventDefault(); go(page - 1); } else trapTab(ev);
    };
    d.addEventListener('keydown', keys);
    go(1);
    d.querySelector('#preview-close').focus();
    return { close };
  }

  async function filesDialog() {
    const r = await api('GET', '/api/files');
    const files = (r.data && r.data.files) || [];
    pushModal(() => {
      const close = h('button', { type: 'button', id: 'files-close' }, 'Fechar');
      const list = files.length
        ? h('ul', { id: 'files-list' }, ...files.map((f) => h('li', null, h('a', { href: f.url, download: f.name }, f.name), ` — ${f.pages} ${f.pages === 1 ? 'página' : 'páginas'}`)))
        : h('p', { class: 'text' }, 'Nenhum relatório gravado na última hora.');
      const d = dialogFrame('files', 'Relatórios gravados', list, h('div', { class: 'buttons' }, close));
      const done = () => { d.removeEventListener('keydown', keys); closeModal(); };
      const keys = (ev) => { if (ev.key === 'Escape') { ev.preventDefault(); done(); } else trapTab(ev); };
      close.addEventListener('click', done);
      d.addEventListener('keydown', keys);
      close.focus();
      return {};
    });
  }

  // ------------------------------------------------------------ start
  function wireStatic() {
    $('signin-form').addEventListener('submit', signIn);
    $('form').addEventListener('keydown', formKeys);
    $('toolbar').addEventListener('keydown', formKeys);
    for (const b of $('toolbar').querySelectorAll('button')) {
      b.addEventListener('mousedown', (ev) => ev.preventDefault());
      b.addEventListener('focus', () => focusEntered(b.dataset.control));
    }
    $('print').addEventListener('click', () => runReport('print'));
    $('preview').addEventListener('click', () => runReport('preview'));
    for (const f of ['pdf', 'xlsx', 'csv']) $(`save-${f}`).addEventListener('click', () => runReport(f));
    $('cancel-run').addEventListener('click', () => post({ do: 'cancel' }));
    $('clear-filters').addEventListener('click', () => enqueue({ body: { do: 'clear' } }));
    $('files').addEventListener('click', filesDialog);
    $('switch-branch').addEventListener('click', async () => {
      if (formId) await api('POST', `/api/forms/${encodeURIComponent(formId)}`, { do: 'close', after: seq });
      sessionStorage.removeItem('pla013.form');
      chooseBranch();
    });
    $('sign-out').addEventListener('click', async () => {
      stopForm();
      sessionStorage.removeItem('pla013.form');
      await api('DELETE', '/api/session');
      showSignin('Você saiu.');
    });
    $('reopen').addEventListener('click', () => {
      if (session.all || !branch) firstForm();
      else openForm(branch);
    });
    document.addEventListener('keydown', (ev) => {
      if (ev.key === 'F9' && formId && !modal) { ev.preventDefault(); runReport('preview'); }
    });
    window.addEventListener('resize', fit);
  }

  async function boot() {
    wireStatic();
    const r = await api('GET', '/api/session');
    if (r.status === 200 && r.data && r.data.signedIn) {
      session = r.data;
      afterSignIn();
    } else {
      showSignin(r.data && r.data.message);
    }
  }

  boot();
})();
