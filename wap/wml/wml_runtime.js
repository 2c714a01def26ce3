// The runtime of a page made from a WML deck. The deck's cards are already in
// the page as escaped HTML; this script shows one card at a time, fills in
// variable references, and carries out the deck's tasks, timers and events.
// WML's browser context (variables and the history that prev uses) outlives
// one deck, so it lives in sessionStorage. Variable values only ever reach
// the page as text (textContent, input values), never as markup.
(function () {
  'use strict';

  var dataElement = document.getElementById('wml-deck-data');
  if (!dataElement) {
    return;
  }
  var deck = JSON.parse(dataElement.textContent);
  var cardElements = document.querySelectorAll('section.wml-card');
  var noteElement = document.getElementById('wml-note');
  var referrerElement = document.getElementById('wml-referrer');
  var scriptNoteElement = document.getElementById('wml-script-note');
  var STORE = 'tessaly.wml.context';
  var HISTORY_LIMIT = 200;
  var NAME = /^[A-Za-z_][A-Za-z0-9_]*$/;
  var REFERENCE =
      /\$(?:(\$)|\(\s*([A-Za-z_][A-Za-z0-9_]*)\s*(?::\s*([A-Za-z]+)\s*)?\)|([A-Za-z_][A-Za-z0-9_]*))/g;

  var context = loadContext();
  var current = -1;
  var timer = null;
  // A card move this runtime started and the engine has not reported yet:
  // where it came from, and whether the engine gave it a history entry of
  // its own (moves made while the page is still loading replace the entry).
  var pendingMove = null;

  // --- The browser context -------------------------------------------------

  function loadContext() {
    try {
      var stored = JSON.parse(sessionStorage.getItem(STORE) || 'null');
      if (stored && stored.vars && typeof stored.vars === 'object' &&
          Array.isArray(stored.history)) {
        return stored;
      }
    } catch (e) {
    }
    return {vars: {}, history: []};
  }

  function saveContext() {
    try {
      sessionStorage.setItem(STORE, JSON.stringify(context));
    } catch (e) {
    }
  }

  // Names are prefixed so that a variable called __proto__ is just a name.
  function getVar(name) {
    var value = context.vars['v_' + name];
    return typeof value === 'string' ? value : '';
  }

  function setVar(name, value) {
    if (!NAME.test(name)) {
      return;
    }
    value = String(value);
    if (value === '') {
      delete context.vars['v_' + name];
    } else {
      context.vars['v_' + name] = value;
    }
  }

  // --- Variable references -------------------------------------------------

  function escapeValue(value) {
    try {
      return encodeURIComponent(value).replace(/[!'()*]/g, function (c) {
        return '%' + c.charCodeAt(0).toString(16).toUpperCase();
      });
    } catch (e) {
      return '';
    }
  }

  function unescapeValue(value) {
    try {
      return decodeURIComponent(value);
    } catch (e) {
      return value;
    }
  }

  // Inside an address a value is made safe for a URL without breaking one
  // that the variable holds whole.
  function urlValue(value) {
    try {
      return encodeURI(value);
    } catch (e) {
      return '';
    }
  }

  function subst(text, inUrl) {
    if (text === undefined || text === null) {
      return '';
    }
    return String(text).replace(REFERENCE, function (whole, dollar, name, conversion, bare) {
      if (dollar) {
        return '$';
      }
      var value = getVar(name || bare);
      switch ((conversion || '').toLowerCase()) {
        case 'e':
        case 'escape':
          return escapeValue(value);
        case 'u':
        case 'unesc':
          return unescapeValue(value);
        case 'n':
        case 'noesc':
          return value;
        default:
          return inUrl ? urlValue(value) : value;
      }
    });
  }

  // Only web addresses and the page's own kind of address are followed:
  // javascript:, data: and the like are refused.
  function safeUrl(href) {
    var url;
    try {
      url = new URL(href, document.baseURI);
    } catch (e) {
      return null;
    }
    var scheme = url.protocol;
    if (scheme === 'http:' || scheme === 'https:' || scheme === location.protocol) {
      return url;
    }
    return null;
  }

  function showNote(text) {
    if (noteElement) {
      noteElement.textContent = text;
      noteElement.hidden = !text;
    }
  }

  // --- Input formats ---------------------------------------------------------

  function isLetter(c) {
    return c.toUpperCase() !== c.toLowerCase();
  }

  function fitsFormatCode(code, c) {
    var digit = c >= '0' && c <= '9';
    switch (code) {
      case 'A':
        return !digit && !(isLetter(c) && c !== c.toUpperCase());
      case 'a':
        return !digit && !(isLetter(c) && c !== c.toLowerCase());
      case 'N':
        return digit;
      case 'X':
        return !(isLetter(c) && c !== c.toUpperCase());
      case 'x':
        return !(isLetter(c) && c !== c.toLowerCase());
      default:  // M, m
        return true;
    }
  }

  // Reads a format mask into steps {code, literal, min, max}.
  function readFormat(format) {
    var steps = [];
    for (var i = 0; i < format.length; ++i) {
      var c = format[i];
      if (c === '\\' && i + 1 < format.length) {
        steps.push({literal: format[++i], min: 1, max: 1});
      } else if (c === '*' && i + 1 < format.length) {
        steps.push({code: format[++i], min: 0, max: Infinity});
      } else if (c >= '1' && c <= '9' && i + 1 < format.length) {
        steps.push({code: format[++i], min: 0, max: Number(c)});
      } else if ('AaNXxMm'.indexOf(c) >= 0) {
        steps.push({code: c, min: 1, max: 1});
      } else {
        return null;  // not a valid mask: accept anything
      }
    }
    return steps;
  }

  function fitsFormat(format, value, emptyOk) {
    if (value === '') {
      return emptyOk || !format;
    }
    if (!format) {
      return true;
    }
    var steps = readFormat(format);
    if (!steps) {
      return true;
    }
    var chars = Array.from(value);
    var at = 0;
    for (var s = 0; s < steps.length; ++s) {
      var step = steps[s];
      var taken = 0;
      while (taken < step.max && at < chars.length &&
             (step.literal !== undefined ? chars[at] === step.literal
                                         : fitsFormatCode(step.code, chars[at]))) {
        ++at;
        ++taken;
      }
      if (taken < step.min) {
        return false;
      }
    }
    return at === chars.length;
  }

  // --- Showing a card --------------------------------------------------------

  function documentOf(href) {
    var url = new URL(href, location.href);
    url.hash = '';
    return url.href;
  }

  // Whether two addresses show the same card: in this deck, "deck" and
  // "deck#first" are one card.
  function sameEntry(a, b) {
    if (a === b) {
      return true;
    }
    try {
      var deckAddress = documentOf(a);
      if (deckAddress !== documentOf(b)) {
        return false;
      }
      if (deckAddress !== documentOf(location.href)) {
        return new URL(a).hash === new URL(b).hash;
      }
      return cardIndexForHash(new URL(a, location.href).hash) ===
             cardIndexForHash(new URL(b, location.href).hash);
    } catch (e) {
      return false;
    }
  }

  function cardIndexForHash(hash) {
    var id = hash.replace(/^#/, '');
    try {
      id = decodeURIComponent(id);
    } catch (e) {
    }
    if (id) {
      for (var i = 0; i < deck.cards.length; ++i) {
        if (deck.cards[i].id === id) {
          return i;
        }
      }
    }
    return 0;
  }

  function initInput(input) {
    var name = input.getAttribute('data-var');
    var format = input.getAttribute('data-format') || '';
    var emptyOk = input.hasAttribute('data-emptyok');
    var value = getVar(name);
    if (value === '' || !fitsFormat(format, value, emptyOk)) {
      value = subst(input.getAttribute('data-value'), false);
      if (!fitsFormat(format, value, true)) {
        value = '';
      }
      setVar(name, value);
    }
    input.value = value;
    input.classList.remove('wml-bad');
  }

  function initSelect(select) {
    var options = Array.prototype.slice.call(select.options);
    var name = select.getAttribute('data-var');
    var indexName = select.getAttribute('data-ivar');
    var chosen = [];
    var wanted = indexName ? getVar(indexName) : '';
    if (!wanted && select.hasAttribute('data-ivalue')) {
      wanted = subst(select.getAttribute('data-ivalue'), false);
    }
    if (wanted) {
      wanted.split(';').forEach(function (n) {
        var i = parseInt(n, 10) - 1;
        if (i >= 0 && i < options.length) {
          chosen.push(i);
        }
      });
    }
    if (!chosen.length) {
      var values = name ? getVar(name) : '';
      if (!values && select.hasAttribute('data-value')) {
        values = subst(select.getAttribute('data-value'), false);
      }
      if (values) {
        var list = values.split(';');
        options.forEach(function (option, i) {
          if (list.indexOf(option.value) >= 0) {
            chosen.push(i);
          }
        });
      }
    }
    if (!chosen.length && !select.multiple && options.length) {
      chosen.push(0);
    }
    if (!select.multiple) {
      chosen = chosen.slice(0, 1);
    }
    options.forEach(function (option, i) {
      option.selected = chosen.indexOf(i) >= 0;
    });
    storeSelection(select);
  }

  function storeSelection(select) {
    var values = [];
    var indices = [];
    Array.prototype.forEach.call(select.options, function (option, i) {
      if (option.selected) {
        values.push(option.value);
        indices.push(String(i + 1));
      }
    });
    var name = select.getAttribute('data-var');
    var indexName = select.getAttribute('data-ivar');
    if (name) {
      setVar(name, values.join(';'));
    }
    if (indexName) {
      setVar(indexName, indices.join(';'));
    }
  }

  // Fills the shown card with the current variable values.
  function render(card) {
    card.querySelectorAll('[data-v]').forEach(function (element) {
      element.textContent = subst(element.getAttribute('data-v'), false);
    });
    card.querySelectorAll('option[data-value-template]').forEach(function (option) {
      option.value = subst(option.getAttribute('data-value-template'), false);
    });
    card.querySelectorAll('[data-alt]').forEach(function (element) {
      element.setAttribute('alt', subst(element.getAttribute('data-alt'), false));
    });
    card.querySelectorAll('img[data-src]').forEach(function (image) {
      var url = safeUrl(subst(image.getAttribute('data-src'), true));
      if (url) {
        image.src = url.href;
      }
    });
    card.querySelectorAll('a[data-task]').forEach(function (link) {
      var task = deck.tasks[Number(link.getAttribute('data-task'))];
      var url = task && task.t === 'go' ? safeUrl(subst(task.href, true)) : null;
      if (url) {
        link.href = url.href;
      } else {
        link.removeAttribute('href');
      }
    });
    card.querySelectorAll('input[data-var]').forEach(initInput);
    card.querySelectorAll('select').forEach(initSelect);
  }

  // The page's title is the card's; telling the engine costs time, so only
  // a change is told.
  function showTitle(card) {
    var title = subst(card.title, false) || deck.title || '';
    if (document.title !== title) {
      document.title = title;
    }
  }

  function stopTimer() {
    if (!timer) {
      return;
    }
    clearTimeout(timer.id);
    if (timer.name) {
      var left = Math.max(0, Math.round((timer.ends - Date.now()) / 100));
      setVar(timer.name, String(left));
    }
    timer = null;
  }

  function startTimer(index) {
    var card = deck.cards[index];
    if (!card.timer) {
      return;
    }
    var name = card.timer.name || '';
    var value = name ? parseInt(getVar(name), 10) : NaN;
    if (!(value > 0)) {
      value = parseInt(subst(card.timer.value, false), 10);
    }
    if (!(value > 0)) {
      return;
    }
    if (name) {
      setVar(name, String(value));
    }
    var started = {name: name, ends: Date.now() + value * 100};
    started.id = setTimeout(function () {
      if (timer !== started) {
        return;
      }
      timer = null;
      if (name) {
        setVar(name, '0');
      }
      saveContext();
      var task = eventTask(index, 'ontimer');
      if (task !== undefined) {
        run(task);
      }
    }, value * 100);
    timer = started;
  }

  function eventTask(index, type) {
    var events = deck.cards[index].events || {};
    return events[type];
  }

  // The deck may say it can be reached only from some domain and path.
  function accessAllowed(from) {
    if (!deck.access || !from) {
      return true;
    }
    var source;
    try {
      source = new URL(from);
    } catch (e) {
      return true;
    }
    var here = new URL(location.href);
    if (source.origin === here.origin && source.pathname === here.pathname) {
      return true;
    }
    var domain = (deck.access.domain || here.hostname).toLowerCase().replace(/^\./, '');
    var host = source.hostname.toLowerCase();
    if (host !== domain && !host.endsWith('.' + domain)) {
      return false;
    }
    var path = deck.access.path || '/';
    if (path.charAt(0) !== '/') {
      path = new URL(path, location.href).pathname;
    }
    return source.pathname === path ||
           source.pathname.indexOf(path.endsWith('/') ? path : path + '/') === 0;
  }

  function showCard(index, direction) {
    stopTimer();
    for (var i = 0; i < cardElements.length; ++i) {
      if (cardElements[i].hidden !== (i !== index)) {
        cardElements[i].hidden = i !== index;
      }
    }
    current = index;
    var card = deck.cards[index];
    var element = cardElements[index];
    if (direction === 'forward' && card.newcontext) {
      context.vars = {};
      context.history = [location.href];
    }
    render(element);
    showTitle(card);
    saveContext();
    var task = direction === 'forward'    ? eventTask(index, 'onenterforward')
               : direction === 'backward' ? eventTask(index, 'onenterbackward')
                                          : undefined;
    if (task !== undefined && run(task)) {
      return;
    }
    startTimer(index);
  }

  // Called whenever the address may have changed: on load, on a card link,
  // and on Back and Forward. The WML history tells the direction.
  function arrive() {
    var here = location.href;
    var history = context.history;
    var direction;
    var from = history.length ? history[history.length - 1] : document.referrer;
    var move = pendingMove;
    pendingMove = null;
    if (history.length >= 2 && sameEntry(history[history.length - 2], here)) {
      history.pop();
      direction = 'backward';
    } else if (history.length && sameEntry(history[history.length - 1], here)) {
      direction = 'again';
    } else {
      if (move) {
        // The entry remembers how it was made, for a later prev.
        try {
          window.history.replaceState({wmlFrom: move.from, wmlPushed: move.pushed}, '');
        } catch (e) {
        }
      }
      history.push(here);
      if (history.length > HISTORY_LIMIT) {
        history.splice(0, history.length - HISTORY_LIMIT);
      }
      direction = 'forward';
    }
    if (direction === 'forward' && !accessAllowed(from)) {
      saveContext();
      for (var i = 0; i < cardElements.length; ++i) {
        cardElements[i].hidden = true;
      }
      showNote('此页面不允许从 ' + from + ' 访问。');
      return;
    }
    showCard(cardIndexForHash(location.hash), direction);
  }

  // --- Tasks -------------------------------------------------------------------

  function applySetvars(task) {
    var values = (task.set || []).map(function (pair) {
      return [subst(pair[0], false), subst(pair[1], false)];
    });
    values.forEach(function (pair) {
      setVar(pair[0], pair[1]);
    });
  }

  function sameDeck(url) {
    var here = new URL(location.href);
    here.hash = '';
    var there = new URL(url.href);
    there.hash = '';
    return here.href === there.href && url.href.indexOf('#') >= 0;
  }

  function submitForm(url, method, fields, task) {
    var form = document.createElement('form');
    form.method = method;
    form.action = url.href;
    form.enctype = task.enctype === 'multipart/form-data' ? 'multipart/form-data'
                                                          : 'application/x-www-form-urlencoded';
    form.acceptCharset = task.accept || deck.charset || 'utf-8';
    form.hidden = true;
    fields.forEach(function (field) {
      var input = document.createElement('input');
      input.type = 'hidden';
      input.name = field[0];
      input.value = field[1];
      form.appendChild(input);
    });
    document.body.appendChild(form);
    form.submit();
  }

  // Returns whether the task leaves the card.
  function go(task) {
    var url = safeUrl(subst(task.href, true));
    if (!url) {
      showNote('已拒绝打开不安全的链接。');
      return false;
    }
    var callText = scriptCallText(url);
    if (callText !== null) {
      applySetvars(task);
      saveContext();
      runScript(url, callText);
      return false;
    }
    var fields = (task.post || []).map(function (pair) {
      return [subst(pair[0], false), subst(pair[1], false)];
    });
    applySetvars(task);
    stopTimer();
    saveContext();
    if (referrerElement) {
      referrerElement.content = task.referer ? 'unsafe-url' : 'no-referrer';
    }
    var post = task.method === 'post';
    if (!post && !fields.length && sameDeck(url)) {
      if (url.hash === location.hash || (url.hash === '' && location.hash === '')) {
        refresh();
        return false;
      }
      pendingMove = {from: location.href, pushed: document.readyState === 'complete'};
      location.hash = url.hash;
      return true;
    }
    if (post) {
      submitForm(url, 'post', fields, task);
      return true;
    }
    if (fields.length) {
      var charset = (task.accept || deck.charset || 'utf-8').toLowerCase();
      if (charset !== 'utf-8' && !url.search) {
        submitForm(url, 'get', fields, task);
        return true;
      }
      var query = fields.map(function (field) {
        return escapeValue(field[0]) + '=' + escapeValue(field[1]);
      }).join('&');
      url.search = url.search ? url.search.substring(1) + '&' + query : query;
    }
    location.assign(url.href);
    return true;
  }

  function refresh() {
    if (current >= 0) {
      render(cardElements[current]);
      showTitle(deck.cards[current]);
    }
    saveContext();
  }

  // Goes to the card or deck before this one in the WML history. The engine's
  // own Back is used only when its previous entry is that card: a move made
  // while the deck was loading replaced the engine's entry, and Back would
  // leave the deck.
  function prev() {
    var entries = context.history;
    if (entries.length < 2) {
      saveContext();
      return false;
    }
    stopTimer();
    saveContext();
    var target = entries[entries.length - 2];
    var made = window.history.state;
    var engineHasIt = made && made.wmlPushed && sameEntry(made.wmlFrom, target);
    if (!engineHasIt && documentOf(target) === documentOf(location.href)) {
      try {
        window.history.replaceState(null, '', target);
      } catch (e) {
        return false;
      }
      // Later, as a change of address would be, so that cards moving each
      // other back and forth cannot nest without end.
      setTimeout(arrive, 0);
      return true;
    }
    window.history.back();
    return true;
  }

  function run(index) {
    var task = deck.tasks[index];
    if (!task) {
      return false;
    }
    switch (task.t) {
      case 'go':
        return go(task);
      case 'prev':
        applySetvars(task);
        return prev();
      case 'refresh':
        applySetvars(task);
        refresh();
        return false;
      default:
        return false;
    }
  }

  // --- WMLScript ----------------------------------------------------------------
  //
  // A go whose fragment is a function call ("check.wmls#ok('$(n)')") runs a
  // function of a WMLScript unit in the machine (WmlScript, before this
  // script in the same closure), then carries out what the script asked of
  // the browser. Units come with the page (deck.units) when it cannot fetch
  // them; a page carried by the gateway fetches them from its own site, and
  // the gateway hands over only units it has compiled or verified.

  var LOAD_STRING_BYTES_LIMIT = 64 * 1024;
  // How long a unit or a loadString answer may take to come.
  var FETCH_MILLIS = 10000;
  // Scripts that ask for another script's go, one after the other, and
  // dialogs scripts show, without the user doing anything in between: a deck
  // that loops through cards by itself cannot keep the user in dialogs.
  var SCRIPT_CHAIN_LIMIT = 8;
  var DIALOG_LIMIT = 5;
  var CALL = /^\s*[A-Za-z_][A-Za-z0-9_]*\s*\(/;
  var carriedUnits = deck.units && typeof deck.units === 'object' ? deck.units : {};
  var scriptRunning = false;
  var scriptChain = 0;
  var dialogsShown = 0;

  function showScriptNote(text) {
    if (scriptNoteElement) {
      scriptNoteElement.textContent = text;
      scriptNoteElement.hidden = !text;
    }
  }

  // The call a go's address makes, or null when it is not a script's.
  function scriptCallText(url) {
    if (url.hash.length < 2) {
      return null;
    }
    var text;
    try {
      text = decodeURIComponent(url.hash.substring(1));
    } catch (e) {
      return null;
    }
    return CALL.test(text) ? text : null;
  }

  function bytesOfBase64(text) {
    var binary = atob(text);
    var bytes = new Uint8Array(binary.length);
    for (var i = 0; i < binary.length; ++i) {
      bytes[i] = binary.charCodeAt(i);
    }
    return bytes.buffer;
  }

  function failure(text) {
    return Promise.reject(new Error(text));
  }

  function sameSite(address) {
    try {
      return new URL(address).origin === location.origin;
    } catch (e) {
      return false;
    }
  }

  // A fetch from the page's own site that gives up after FETCH_MILLIS.
  function boundedFetch(address, headers) {
    var aborter = new AbortController();
    var timeout = setTimeout(function () {
      aborter.abort();
    }, FETCH_MILLIS);
    var ended = function () {
      clearTimeout(timeout);
    };
    var answer = fetch(address, {credentials: 'same-origin', signal: aborter.signal,
                                 headers: headers});
    answer.then(ended, ended);
    return answer;
  }

  // Reads a response's body up to limit bytes; null when it is larger.
  function boundedBody(response, limit) {
    var declared = Number(response.headers.get('Content-Length') || 0);
    if (declared > limit) {
      return Promise.resolve(null);
    }
    return response.arrayBuffer().then(function (body) {
      return body.byteLength > limit ? null : body;
    });
  }

  function loadUnit(address) {
    if (Object.prototype.hasOwnProperty.call(carriedUnits, address)) {
      var carried = String(carriedUnits[address]);
      if (carried.charAt(0) === '!') {
        return failure(carried.substring(1));
      }
      try {
        return Promise.resolve(bytesOfBase64(carried));
      } catch (e) {
        return failure('脚本 ' + address + ' 已损坏。');
      }
    }
    if (location.protocol !== 'http:' || !sameSite(address)) {
      return failure('无法载入脚本 ' + address + '：只能载入本网站的脚本。');
    }
    return boundedFetch(address, {
      'Accept': 'application/vnd.wap.wmlscriptc, text/vnd.wap.wmlscript;q=0.5'
    }).then(function (response) {
      var type = (response.headers.get('Content-Type') || '').split(';')[0].trim().toLowerCase();
      if (!response.ok) {
        throw new Error('无法载入脚本 ' + address + '（' + response.status + '）。');
      }
      if (type !== 'application/vnd.wap.wmlscriptc') {
        // The gateway's own refusal says why, as text.
        return response.text().then(function (text) {
          throw new Error(type === 'text/plain' && text ? text.substring(0, 500)
                                                        : '脚本 ' + address + ' 不是 WMLScript。');
        });
      }
      return boundedBody(response, WmlScript.limits.unitBytes).then(function (body) {
        if (!body) {
          throw new Error('脚本 ' + address + ' 太大，不予运行。');
        }
        return body;
      });
    }, function () {
      throw new Error('无法载入脚本 ' + address + '。');
    });
  }

  // URL.loadString: text from the page's own site only, bounded in size and
  // time; status 0 when it could not be had.
  function loadString(address, contentType) {
    if (!sameSite(address)) {
      return Promise.resolve({status: 0, type: '', text: ''});
    }
    return boundedFetch(address, {'Accept': contentType})
        .then(function (response) {
          var type = response.headers.get('Content-Type') || '';
          return boundedBody(response, LOAD_STRING_BYTES_LIMIT).then(function (body) {
            if (!body) {
              return {status: 0, type: type, text: ''};
            }
            var charset = /charset\s*=\s*"?([^";\s]+)/i.exec(type);
            var text;
            try {
              text = new TextDecoder(charset ? charset[1] : 'utf-8').decode(body);
            } catch (e) {
              text = new TextDecoder('utf-8').decode(body);
            }
            return {status: response.status, type: type, text: text};
          });
        })
        .catch(function () {
          return {status: 0, type: '', text: ''};
        });
  }

  // Whether a script may show one more dialog; past the bound it is
  // answered as if cancelled, and the page says why.
  function dialogAllowed() {
    if (++dialogsShown <= DIALOG_LIMIT) {
      return true;
    }
    showScriptNote('已阻止本页脚本继续弹出对话框。');
    return false;
  }

  // The user did something: scripts may move on and ask again.
  function userActed() {
    scriptChain = 0;
    dialogsShown = 0;
  }

  function currentCardAddress() {
    var card = current >= 0 ? deck.cards[current] : null;
    if (!card) {
      return '';
    }
    var url = new URL(location.href);
    url.hash = card.id ? '#' + encodeURIComponent(card.id) : '';
    return url.href;
  }

  // What the machine may do to the browser. Values a script sets are only
  // ever shown as text, like those the user types.
  var scriptHost = {
    loadUnit: loadUnit,
    loadString: loadString,
    getVar: getVar,
    setVar: function (name, value) {
      if (!NAME.test(name)) {
        return false;
      }
      setVar(name, value);
      saveContext();
      return true;
    },
    newContext: function () {
      context.vars = {};
      context.history = [location.href];
      saveContext();
    },
    currentCard: currentCardAddress,
    alert: function (text) {
      if (dialogAllowed()) {
        window.alert(text);
      }
    },
    confirm: function (text, ok, cancel) {
      var labels = ok || cancel ? '\n\n（确定：' + (ok || '确定') + '，取消：' + (cancel || '取消') + '）'
                                : '';
      return dialogAllowed() && window.confirm(text + labels);
    },
    prompt: function (text, defaultText) {
      return dialogAllowed() ? window.prompt(text, defaultText) : null;
    }
  };

  // Where a script's WMLBrowser.go leads. A unit has no cards: "#card",
  // which resolves against the unit, names a card of the deck that called it.
  function scriptTarget(address, unitAddress) {
    try {
      var target = new URL(address);
      if (target.hash && documentOf(target.href) === unitAddress && !scriptCallText(target)) {
        var card = new URL(location.href);
        card.hash = target.hash;
        return card.href;
      }
    } catch (e) {
    }
    return address;
  }

  // Runs the call url makes; what it asks of the browser is carried out when
  // it returns, unless the user has left the card meanwhile.
  function runScript(url, callText) {
    if (scriptRunning) {
      return;
    }
    if (!WmlScript) {
      showScriptNote('本页无法运行 WMLScript 脚本。');
      return;
    }
    var call = WmlScript.parseCall(callText);
    if (!call) {
      showScriptNote('脚本调用的写法有误：' + callText.substring(0, 200));
      return;
    }
    var unit = new URL(url.href);
    unit.hash = '';
    var card = current;
    var shownAt = location.href;
    scriptRunning = true;
    showScriptNote('');
    WmlScript.run(scriptHost, unit.href, call).then(function (outcome) {
      scriptRunning = false;
      saveContext();
      if (outcome.error) {
        showScriptNote(outcome.error);
      }
      if (current !== card || location.href !== shownAt) {
        return;
      }
      if (outcome.go !== null && outcome.go !== undefined) {
        if (++scriptChain > SCRIPT_CHAIN_LIMIT) {
          showScriptNote('脚本反复跳转，已停止。');
          return;
        }
        // The address is the script's own: no variable references in it.
        go({t: 'go', href: scriptTarget(String(outcome.go), unit.href).replace(/\$/g, '$$$$')});
      } else if (outcome.prev) {
        prev();
      } else {
        // The card shows what the script set whether or not it asked for a
        // refresh: WMLScript 1.1 had no way to ask, and its scripts relied
        // on the card being shown again.
        refresh();
      }
    });
  }

  // --- The user's actions ------------------------------------------------------

  document.addEventListener('click', function (event) {
    var target = event.target.closest ? event.target.closest('[data-task]') : null;
    if (!target || target.tagName === 'OPTION') {
      return;
    }
    event.preventDefault();
    userActed();
    run(Number(target.getAttribute('data-task')));
  });

  document.addEventListener('input', function (event) {
    var input = event.target;
    if (input.tagName !== 'INPUT' || !input.hasAttribute('data-var')) {
      return;
    }
    userActed();
    var fits = fitsFormat(input.getAttribute('data-format') || '', input.value,
                          input.hasAttribute('data-emptyok'));
    input.classList.toggle('wml-bad', !fits);
    if (fits) {
      setVar(input.getAttribute('data-var'), input.value);
      saveContext();
    }
  });

  document.addEventListener('change', function (event) {
    var select = event.target;
    if (select.tagName !== 'SELECT') {
      return;
    }
    userActed();
    storeSelection(select);
    saveContext();
    var picked = select.options[select.selectedIndex];
    if (picked && picked.hasAttribute('data-task')) {
      run(Number(picked.getAttribute('data-task')));
    }
  });

  // A page kept in the back-forward cache comes back without loading: the
  // context may have changed meanwhile. Listening for that only once the page
  // has left keeps its first showing free of an event call.
  function returned(event) {
    if (event.persisted) {
      context = loadContext();
      arrive();
    }
  }

  window.addEventListener('hashchange', arrive);
  // Everything else is saved as it changes; a running timer keeps what is
  // left of it in its variable.
  window.addEventListener('pagehide', function () {
    if (timer) {
      stopTimer();
      saveContext();
    }
    window.addEventListener('pageshow', returned);
  });

  arrive();
})();
