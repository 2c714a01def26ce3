// The WMLScript machine: runs compiled WMLScript units (the standard binary
// format the WAP Forum published, already verified by the program) inside a
// deck's page, with the six standard libraries. A unit's code is data here: it is read
// byte by byte and never becomes JavaScript.
//
// The machine keeps its own frames and operand stack (no JavaScript recursion
// per WMLScript call), so a run can stop at any instruction to wait for a unit
// or a URL.loadString answer and go on afterwards. Every run is bounded (see
// LIMITS); whatever goes wrong ends as Outcome.error, a short Chinese sentence,
// and run() never throws or rejects.
var WmlScript = (function () {
  'use strict';

  // The bounds of one run and of one page. A site's script is hostile: these
  // keep a `while (true) {}` to a fraction of a second, keep recursion and
  // strings from exhausting memory and keep a page from loading units without
  // end. The instruction budget and the running time count across the waits
  // for units and loadString answers; time spent in the user's dialogs does
  // not count.
  var LIMITS = Object.freeze({
    instructions: 20000000,  // instructions per run
    millis: 500,             // the machine's own running time per run
    callDepth: 100,          // WMLScript calls in progress at once
    stack: 1024,             // operand stack and variables of all frames
    stringLength: 65536,     // characters of any string a script makes
    units: 16,               // units one page may load
    callText: 4096,          // characters of a call in a deck's address
    callArguments: 32,       // arguments of such a call
    unitBytes: 262144        // bytes of one unit
  });

  var MAX_INT = 2147483647;
  var MIN_INT = -2147483648;
  var MAX_FLOAT = 3.4028234663852886e+38;
  var MIN_FLOAT = 1.1754943508222875e-38;
  // Instructions run between two looks at the clock.
  var SLICE = 65536;
  // The page gets the event loop back at least this often (milliseconds).
  var YIELD_EVERY = 40;

  // --- Values ----------------------------------------------------------------
  // integer: a JavaScript number (always an int32); float: a Float object;
  // string: a JavaScript string; boolean: a JavaScript boolean; invalid: the
  // one INVALID object. Integers stay plain numbers so the loop runs fast.

  function Float(v) {
    this.v = v;
  }
  var INVALID = Object.freeze({invalid: true});

  // A float result: rounded to single precision; overflow is invalid and
  // underflow is 0.0, so NaN and Infinity never reach a script.
  function makeFloat(x) {
    if (x !== x) {
      return INVALID;
    }
    var f = Math.fround(x);
    if (f === Infinity || f === -Infinity) {
      return INVALID;
    }
    if (f < MIN_FLOAT && f > -MIN_FLOAT) {
      f = 0;
    }
    return new Float(f);
  }

  function makeInt(x) {
    return x > MAX_INT || x < MIN_INT ? INVALID : x;
  }

  function Fatal(message) {
    this.message = message;
  }

  var MESSAGES = {
    timeout: '脚本运行超时，已停止。',
    depth: '脚本调用层次过深，已停止。',
    stack: '脚本占用的空间过大，已停止。',
    string: '脚本产生的字符串过长，已停止。',
    units: '本页载入的脚本单元过多，已停止。',
    malformed: '脚本单元格式有误，无法运行。',
    instruction: '脚本单元含有无法执行的指令，已停止。',
    charset: '脚本单元所用的字符集无法识别。',
    access: '脚本单元不允许被调用者使用其函数，已停止。',
    call: '调用脚本函数的写法有误。',
    internal: '脚本运行出错，已停止。'
  };

  function fail(key) {
    throw new Fatal(MESSAGES[key]);
  }

  function checkString(s) {
    if (s.length > LIMITS.stringLength) {
      fail('string');
    }
    return s;
  }

  // The float's text: the shortest decimal that reads back as the same
  // single-precision value; whole values keep a ".0" so they read as floats.
  function floatText(f) {
    if (f === 0) {
      return '0.0';
    }
    var text = String(f);
    for (var digits = 1; digits <= 9; digits++) {
      var shorter = f.toPrecision(digits);
      if (Math.fround(Number(shorter)) === f) {
        text = String(Number(shorter));
        break;
      }
    }
    return /[.e]/.test(text) ? text : text + '.0';
  }

  var INTEGER_TEXT = /^[\t\n\v\f\r ]*[+-]?[0-9]+[\t\n\v\f\r ]*$/;
  var FLOAT_TEXT =
      /^[\t\n\v\f\r ]*[+-]?(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?[\t\n\v\f\r ]*$/;

  // A string read as a number: a decimal integer literal becomes an integer,
  // a float literal a float; anything else (the empty string too) is invalid.
  function stringToNumber(s) {
    if (INTEGER_TEXT.test(s)) {
      var n = Number(s);
      if (n <= MAX_INT && n >= MIN_INT) {
        return n;
      }
      return makeFloat(n);
    }
    if (FLOAT_TEXT.test(s)) {
      return makeFloat(Number(s));
    }
    return INVALID;
  }

  // The automatic conversions of the language.
  function toNumber(v) {
    if (typeof v === 'number' || v instanceof Float) {
      return v;
    }
    if (typeof v === 'boolean') {
      return v ? 1 : 0;
    }
    if (typeof v === 'string') {
      return stringToNumber(v);
    }
    return INVALID;
  }

  // For the integer-only operators: a float is never made an integer.
  function toInt(v) {
    var n = toNumber(v);
    return typeof n === 'number' ? n : INVALID;
  }

  function toBool(v) {
    if (typeof v === 'boolean') {
      return v;
    }
    if (typeof v === 'number') {
      return v !== 0;
    }
    if (typeof v === 'string') {
      return v !== '';
    }
    if (v instanceof Float) {
      return v.v !== 0;
    }
    return INVALID;
  }

  function toStr(v) {
    if (typeof v === 'string') {
      return v;
    }
    if (typeof v === 'number') {
      return String(v);
    }
    if (typeof v === 'boolean') {
      return v ? 'true' : 'false';
    }
    if (v instanceof Float) {
      return floatText(v.v);
    }
    return INVALID;
  }

  function floatOf(n) {
    return typeof n === 'number' ? n : n.v;
  }

  // + : strings join when either operand is a string, numbers add otherwise.
  function add(a, b) {
    if (a === INVALID || b === INVALID) {
      return INVALID;
    }
    if (typeof a === 'string' || typeof b === 'string') {
      var s = toStr(a) + toStr(b);
      return checkString(s);
    }
    return arith(0, a, b);
  }

  // - * (kind 1, 2) and + of numbers (kind 0): integers if both operands
  // are integers, floats otherwise.
  function arith(kind, a, b) {
    a = toNumber(a);
    b = toNumber(b);
    if (a === INVALID || b === INVALID) {
      return INVALID;
    }
    if (typeof a === 'number' && typeof b === 'number') {
      return makeInt(kind === 0 ? a + b : kind === 1 ? a - b : a * b);
    }
    var x = floatOf(a), y = floatOf(b);
    return makeFloat(kind === 0 ? x + y : kind === 1 ? x - y : x * y);
  }

  // / always divides as floats; by zero it is invalid.
  function divide(a, b) {
    a = toNumber(a);
    b = toNumber(b);
    if (a === INVALID || b === INVALID) {
      return INVALID;
    }
    var y = floatOf(b);
    return y === 0 ? INVALID : makeFloat(floatOf(a) / y);
  }

  // div, %, the bitwise and the shift operators: integers only.
  function integerOp(op, a, b) {
    a = toInt(a);
    b = toInt(b);
    if (a === INVALID || b === INVALID) {
      return INVALID;
    }
    switch (op) {
      case 0x24:  // IDIV
        return b === 0 ? INVALID : makeInt(Math.trunc(a / b));
      case 0x25:  // REM
        return b === 0 ? INVALID : (a % b) | 0;
      case 0x26:
        return a & b;
      case 0x27:
        return a | b;
      case 0x28:
        return a ^ b;
      case 0x2A:
        return a << b;
      case 0x2B:
        return a >> b;
      default:  // 0x2C B_RSZSHIFT
        return (a >>> b) | 0;
    }
  }

  // Comparisons: as strings when either operand is a string, as integers
  // when both are integers, as floats otherwise.
  function compare(op, a, b) {
    if (a === INVALID || b === INVALID) {
      return INVALID;
    }
    var x, y;
    if (typeof a === 'string' || typeof b === 'string') {
      x = toStr(a);
      y = toStr(b);
    } else {
      x = toNumber(a);
      y = toNumber(b);
      if (x === INVALID || y === INVALID) {
        return INVALID;
      }
      x = floatOf(x);
      y = floatOf(y);
    }
    switch (op) {
      case 0x2D:
        return x === y;
      case 0x2E:
        return x <= y;
      case 0x2F:
        return x < y;
      case 0x30:
        return x >= y;
      case 0x31:
        return x > y;
      default:  // 0x32 NE
        return x !== y;
    }
  }

  function step(v, delta) {
    v = toNumber(v);
    if (v === INVALID) {
      return INVALID;
    }
    return typeof v === 'number' ? makeInt(v + delta) : makeFloat(v.v + delta);
  }

  function negate(v) {
    v = toNumber(v);
    if (v === INVALID) {
      return INVALID;
    }
    return typeof v === 'number' ? makeInt(0 - v) : makeFloat(-v.v);
  }

  function typeCode(v) {
    if (typeof v === 'number') {
      return 0;
    }
    if (v instanceof Float) {
      return 1;
    }
    if (typeof v === 'string') {
      return 2;
    }
    if (typeof v === 'boolean') {
      return 3;
    }
    return 4;
  }

  function describe(v) {
    switch (typeCode(v)) {
      case 0:
        return 'integer:' + v;
      case 1:
        return 'float:' + floatText(v.v);
      case 2:
        return 'string:' + v;
      case 3:
        return 'boolean:' + v;
      default:
        return 'invalid';
    }
  }

  // --- Reading a unit --------------------------------------------------------

  // MIBenum numbers of the character sets a unit may name, as the page's
  // TextDecoder knows them.
  var CHARSETS = {
    3: 'us-ascii', 4: 'iso-8859-1', 5: 'iso-8859-2', 6: 'iso-8859-3', 7: 'iso-8859-4',
    8: 'iso-8859-5', 9: 'iso-8859-6', 10: 'iso-8859-7', 11: 'iso-8859-8', 12: 'iso-8859-9',
    17: 'shift_jis', 18: 'euc-jp', 38: 'euc-kr', 106: 'utf-8', 113: 'gbk', 114: 'gb18030',
    1013: 'utf-16be', 1014: 'utf-16le', 1015: 'utf-16be', 2025: 'gb2312', 2026: 'big5',
    2084: 'koi8-r', 2250: 'windows-1250', 2251: 'windows-1251', 2252: 'windows-1252',
    2253: 'windows-1253', 2254: 'windows-1254', 2255: 'windows-1255', 2256: 'windows-1256',
    2257: 'windows-1257', 2258: 'windows-1258'
  };

  function Reader(bytes) {
    this.bytes = bytes;
    this.at = 0;
    this.view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  }
  Reader.prototype.need = function (n) {
    if (n < 0 || this.at + n > this.bytes.length) {
      fail('malformed');
    }
  };
  Reader.prototype.u8 = function () {
    this.need(1);
    return this.bytes[this.at++];
  };
  // Multi-byte unsigned integers: seven bits a byte, high bit set on all but
  // the last byte.
  Reader.prototype.mb = function () {
    var value = 0;
    for (var i = 0; i < 5; i++) {
      var b = this.u8();
      value = value * 128 + (b & 0x7F);
      if (!(b & 0x80)) {
        return value;
      }
    }
    fail('malformed');
  };
  Reader.prototype.take = function (n) {
    this.need(n);
    var part = this.bytes.subarray(this.at, this.at + n);
    this.at += n;
    return part;
  };

  function decode(label, bytes) {
    try {
      if (label === 'utf-16be' && bytes.length >= 2 && bytes[0] === 0xFF && bytes[1] === 0xFE) {
        label = 'utf-16le';
      }
      return new TextDecoder(label).decode(bytes);
    } catch (e) {
      fail('charset');
    }
  }

  function parseUnit(buffer, url) {
    var bytes = new Uint8Array(buffer);
    if (bytes.length > LIMITS.unitBytes) {
      fail('malformed');
    }
    var r = new Reader(bytes);
    var version = r.u8();
    if (version >> 4 !== 0) {
      fail('malformed');
    }
    var codeSize = r.mb();
    if (codeSize !== bytes.length - r.at) {
      fail('malformed');
    }
    var constantCount = r.mb();
    var charset = r.mb();
    var consts = [];
    for (var i = 0; i < constantCount; i++) {
      var type = r.u8();
      switch (type) {
        case 0:
          r.need(1);
          consts.push(r.view.getInt8(r.at));
          r.at += 1;
          break;
        case 1:
          r.need(2);
          consts.push(r.view.getInt16(r.at));
          r.at += 2;
          break;
        case 2:
          r.need(4);
          consts.push(r.view.getInt32(r.at));
          r.at += 4;
          break;
        case 3:
          r.need(4);
          consts.push(makeFloat(r.view.getFloat32(r.at)));
          r.at += 4;
          break;
        case 4:
          consts.push(checkString(decode('utf-8', r.take(r.mb()))));
          break;
        case 5:
          consts.push('');
          break;
        case 6:
          if (!CHARSETS[charset]) {
            fail('charset');
          }
          consts.push(checkString(decode(CHARSETS[charset], r.take(r.mb()))));
          break;
        default:
          fail('malformed');
      }
    }
    var constString = function (index) {
      if (typeof consts[index] !== 'string') {
        fail('malformed');
      }
      return consts[index];
    };
    var pragmaCount = r.mb();
    var access = null;
    for (i = 0; i < pragmaCount; i++) {
      var kind = r.u8();
      if (kind === 0 || kind === 1) {
        access = access || {domain: null, path: null};
        access[kind === 0 ? 'domain' : 'path'] = constString(r.mb());
      } else if (kind === 2 || kind === 3) {
        constString(r.mb());
        constString(r.mb());
        if (kind === 3) {
          constString(r.mb());
        }
      } else {
        fail('malformed');
      }
    }
    var functionCount = r.u8();
    var nameCount = r.u8();
    var names = new Map();
    for (i = 0; i < nameCount; i++) {
      var index = r.u8();
      var name = String.fromCharCode.apply(null, r.take(r.u8()));
      if (index >= functionCount) {
        fail('malformed');
      }
      names.set(name, index);
    }
    var functions = [];
    for (i = 0; i < functionCount; i++) {
      var args = r.u8();
      var locals = r.u8();
      var size = r.mb();
      functions.push({args: args, vars: args + locals, code: r.take(size)});
    }
    if (r.at !== bytes.length || functionCount === 0) {
      fail('malformed');
    }
    return {url: url, consts: consts, access: access, names: names, functions: functions};
  }

  // --- Addresses ---------------------------------------------------------------

  var URL_PARTS = /^(?:([^:\/?#]+):)?(?:\/\/([^\/?#]*))?([^?#]*)(?:\?([^#]*))?(?:#(.*))?$/;
  // The characters an address may hold (unreserved, reserved, % escapes, #).
  var URL_CHARS = /^(?:[A-Za-z0-9\-_.!~*'();\/?:@&=+$,#\[\]]|%[0-9A-Fa-f]{2})*$/;

  function splitUrl(s) {
    if (!URL_CHARS.test(s)) {
      return null;
    }
    var m = URL_PARTS.exec(s);
    if (!m || (m[1] !== undefined && !/^[A-Za-z][A-Za-z0-9+.\-]*$/.test(m[1]))) {
      return null;
    }
    var authority = m[2];
    var host = '', port = '';
    if (authority !== undefined) {
      var hostPort = authority.replace(/^.*@/, '');
      var colon = hostPort.lastIndexOf(':');
      if (colon >= 0) {
        port = hostPort.slice(colon + 1);
        hostPort = hostPort.slice(0, colon);
        if (!/^[0-9]*$/.test(port)) {
          return null;
        }
      }
      host = hostPort;
    }
    var path = m[3];
    var lastSlash = path.lastIndexOf('/');
    var semicolon = path.indexOf(';', lastSlash + 1);
    return {
      scheme: m[1] || '',
      host: host,
      port: port,
      path: semicolon >= 0 ? path.slice(0, semicolon) : path,
      parameters: semicolon >= 0 ? path.slice(semicolon + 1) : '',
      query: m[4] || '',
      fragment: m[5] || ''
    };
  }

  function resolveUrl(base, relative) {
    try {
      return new URL(relative, base).href;
    } catch (e) {
      return null;
    }
  }

  function withoutFragment(url) {
    var hash = url.indexOf('#');
    return hash >= 0 ? url.slice(0, hash) : url;
  }

  // The shortest address of target as seen from base: relative when both are
  // on the same scheme, host and port, absolute otherwise.
  function relativeUrl(base, target) {
    var b, t;
    try {
      b = new URL(base);
      t = new URL(target);
    } catch (e) {
      return target;
    }
    if (b.protocol !== t.protocol || b.host !== t.host || b.username !== t.username ||
        b.password !== t.password) {
      return t.href;
    }
    var tail = t.search + t.hash;
    if (t.pathname === b.pathname) {
      return t.search !== b.search ? tail : t.hash || (b.pathname.replace(/^.*\//, '') || './');
    }
    var from = b.pathname.split('/');
    var to = t.pathname.split('/');
    from.pop();
    var common = 0;
    while (common < from.length && common < to.length - 1 && from[common] === to[common]) {
      common++;
    }
    var up = '';
    for (var i = common; i < from.length; i++) {
      up += '../';
    }
    var rest = to.slice(common).join('/');
    return (up + rest || './') + tail;
  }

  // use access: the calling unit's host must end in the unit's access domain
  // (whole labels) and its path must begin with the access path (whole
  // segments). A unit without the pragma may be called by any unit.
  function accessAllowed(unit, callerUrl) {
    if (!unit.access) {
      return true;
    }
    var own, caller;
    try {
      own = new URL(unit.url);
      caller = new URL(callerUrl);
    } catch (e) {
      return false;
    }
    var domain = (unit.access.domain || own.hostname).toLowerCase().replace(/^\.+/, '');
    var host = caller.hostname.toLowerCase();
    if (host !== domain && !host.endsWith('.' + domain)) {
      return false;
    }
    var path = unit.access.path || '/';
    if (path.charAt(0) !== '/') {
      try {
        path = new URL(path, unit.url).pathname;
      } catch (e) {
        return false;
      }
    }
    var callerPath = caller.pathname;
    if (path === '/' || callerPath === path) {
      return true;
    }
    var prefix = path.charAt(path.length - 1) === '/' ? path : path + '/';
    return callerPath.indexOf(prefix) === 0;
  }

  // --- The libraries ---------------------------------------------------------

  function Pending(promise) {
    this.promise = promise;
  }
  var EXIT = {exit: true};
  var ABORT_TEXT = 200;
  var WHITESPACE = /[\t\n\v\f\r ]/;
  var VARIABLE_NAME = /^[A-Za-z_][A-Za-z0-9_]*$/;

  // An integer argument that may come as a float (cut to its integer part,
  // as Float.int does) or as a string holding a number.
  function argInt(v) {
    v = toNumber(v);
    if (v instanceof Float) {
      var t = Math.trunc(v.v);
      return t > MAX_INT || t < MIN_INT ? INVALID : t;
    }
    return v;
  }

  function parseIntPrefix(v) {
    var s = toStr(v);
    if (s === INVALID) {
      return INVALID;
    }
    var m = /^[\t\n\v\f\r ]*([+-]?[0-9]+)/.exec(s);
    return m ? makeInt(Number(m[1])) : INVALID;
  }

  function parseFloatPrefix(v) {
    var s = toStr(v);
    if (s === INVALID) {
      return INVALID;
    }
    var m = /^[\t\n\v\f\r ]*([+-]?(?:[0-9]+(?:\.[0-9]*)?|\.[0-9]+)(?:[eE][+-]?[0-9]+)?)/.exec(s);
    return m ? makeFloat(Number(m[1])) : INVALID;
  }

  // Float.int, floor, ceil and round: integers pass, floats are cut.
  function toWhole(v, how) {
    v = toNumber(v);
    if (v === INVALID || typeof v === 'number') {
      return v;
    }
    return makeInt(how(v.v));
  }

  function pick(a, b, wantMin) {
    var x = toNumber(a), y = toNumber(b);
    if (x === INVALID || y === INVALID) {
      return INVALID;
    }
    var fx = floatOf(x), fy = floatOf(y);
    if (fx === fy) {
      return x;
    }
    return (fx < fy) === wantMin ? x : y;
  }

  // A random generator a script can seed (Lang.seed), so a seeded sequence
  // repeats.
  var randomState = (Math.random() * 4294967296) >>> 0;
  function nextRandom() {
    randomState = (randomState + 0x6D2B79F5) >>> 0;
    var t = randomState;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  }

  function elementsOf(s, separator) {
    return s.split(separator.charAt(0));
  }

  function clampIndex(i, length) {
    return i < 0 ? 0 : i >= length ? length - 1 : i;
  }

  function stringArgs(list) {
    for (var i = 0; i < list.length; i++) {
      list[i] = toStr(list[i]);
      if (list[i] === INVALID) {
        return null;
      }
    }
    return list;
  }

  function padLeft(s, width) {
    if (width > LIMITS.stringLength) {
      fail('string');
    }
    while (s.length < width) {
      s = ' ' + s;
    }
    return s;
  }

  // String.format: the first %[width][.precision](d|f|s) takes the value,
  // later ones are dropped, %% is a percent sign; any other % is invalid.
  function format(fmt, value) {
    fmt = toStr(fmt);
    if (fmt === INVALID || value === INVALID) {
      return INVALID;
    }
    var out = '';
    var used = false;
    var specifier = /%(?:%|([0-9]*)(?:\.([0-9]*))?([dfs])?)/g;
    var last = 0;
    var m;
    while ((m = specifier.exec(fmt)) !== null) {
      out += fmt.slice(last, m.index);
      last = specifier.lastIndex;
      if (m[0] === '%%') {
        out += '%';
        continue;
      }
      if (!m[3]) {
        return INVALID;
      }
      if (used) {
        continue;
      }
      used = true;
      var width = m[1] ? Number(m[1]) : 0;
      var precision = m[2] === undefined ? -1 : Number(m[2] || '0');
      if (precision > LIMITS.stringLength) {
        fail('string');
      }
      var text;
      if (m[3] === 'd') {
        var n = toInt(value);
        if (n === INVALID) {
          return INVALID;
        }
        var digits = String(Math.abs(n));
        if (precision === 0 && n === 0) {
          digits = '';
        }
        while (digits.length < precision) {
          digits = '0' + digits;
        }
        text = (n < 0 ? '-' : '') + digits;
      } else if (m[3] === 'f') {
        var f = toNumber(value);
        if (f === INVALID) {
          return INVALID;
        }
        text = floatOf(f).toFixed(Math.min(precision < 0 ? 6 : precision, 100));
      } else {
        text = toStr(value);
        if (precision >= 0) {
          text = text.slice(0, precision);
        }
      }
      out += padLeft(text, width);
    }
    return checkString(out + fmt.slice(last));
  }

  var UNESCAPED = /[A-Za-z0-9\-_.!~*'()]/;

  function escapeString(s) {
    var out = '';
    for (var i = 0; i < s.length; i++) {
      var c = s.charCodeAt(i);
      if (c > 0x7F) {
        return INVALID;
      }
      var ch = s.charAt(i);
      out += UNESCAPED.test(ch) ? ch : '%' + (c < 16 ? '0' : '') + c.toString(16);
    }
    return checkString(out);
  }

  function unescapeString(s) {
    if (/[^\x00-\x7F]/.test(s)) {
      return INVALID;
    }
    var out = '';
    for (var i = 0; i < s.length; i++) {
      var ch = s.charAt(i);
      if (ch === '%') {
        var hex = s.substr(i + 1, 2);
        if (!/^[0-9A-Fa-f]{2}$/.test(hex)) {
          return INVALID;
        }
        out += String.fromCharCode(parseInt(hex, 16));
        i += 2;
      } else {
        out += ch;
      }
    }
    return out;
  }

  function urlPart(part) {
    return function (m, url) {
      url = toStr(url);
      if (url === INVALID) {
        return INVALID;
      }
      var parts = splitUrl(url);
      return parts ? parts[part] : INVALID;
    };
  }

  // Each function: [library, index, name, arguments, implementation]; the
  // implementation gets the run and the arguments in order.
  var TABLE = [
    [0, 0, 'Lang.abs', 1, function (m, v) {
      v = toNumber(v);
      if (v === INVALID) {
        return INVALID;
      }
      return typeof v === 'number' ? makeInt(Math.abs(v)) : makeFloat(Math.abs(v.v));
    }],
    [0, 1, 'Lang.min', 2, function (m, a, b) {
      return pick(a, b, true);
    }],
    [0, 2, 'Lang.max', 2, function (m, a, b) {
      return pick(a, b, false);
    }],
    [0, 3, 'Lang.parseInt', 1, function (m, v) {
      return parseIntPrefix(v);
    }],
    [0, 4, 'Lang.parseFloat', 1, function (m, v) {
      return parseFloatPrefix(v);
    }],
    [0, 5, 'Lang.isInt', 1, function (m, v) {
      return v === INVALID ? INVALID : parseIntPrefix(v) !== INVALID;
    }],
    [0, 6, 'Lang.isFloat', 1, function (m, v) {
      return v === INVALID ? INVALID : parseFloatPrefix(v) !== INVALID;
    }],
    [0, 7, 'Lang.maxInt', 0, function () {
      return MAX_INT;
    }],
    [0, 8, 'Lang.minInt', 0, function () {
      return MIN_INT;
    }],
    [0, 9, 'Lang.float', 0, function () {
      return true;
    }],
    [0, 10, 'Lang.exit', 1, function (m, v) {
      m.exitValue = v;
      return EXIT;
    }],
    [0, 11, 'Lang.abort', 1, function (m, v) {
      var text = toStr(v);
      text = text === INVALID ? 'invalid' : text;
      // The user reads it under the card: a long text is cut.
      if (text.length > ABORT_TEXT) {
        text = text.slice(0, ABORT_TEXT) + '…';
      }
      throw new Fatal('脚本已中止：' + text);
    }],
    [0, 12, 'Lang.random', 1, function (m, v) {
      v = argInt(v);
      if (v === INVALID || v < 0) {
        return INVALID;
      }
      return Math.floor(nextRandom() * (v + 1));
    }],
    [0, 13, 'Lang.seed', 1, function (m, v) {
      v = argInt(v);
      if (v === INVALID) {
        return INVALID;
      }
      randomState = v >= 0 ? v >>> 0 : (Math.random() * 4294967296) >>> 0;
      return '';
    }],
    [0, 14, 'Lang.characterSet', 0, function () {
      return 106;
    }],

    [1, 0, 'Float.int', 1, function (m, v) {
      return toWhole(v, Math.trunc);
    }],
    [1, 1, 'Float.floor', 1, function (m, v) {
      return toWhole(v, Math.floor);
    }],
    [1, 2, 'Float.ceil', 1, function (m, v) {
      return toWhole(v, Math.ceil);
    }],
    [1, 3, 'Float.pow', 2, function (m, a, b) {
      a = toNumber(a);
      b = toNumber(b);
      if (a === INVALID || b === INVALID) {
        return INVALID;
      }
      var x = floatOf(a), y = floatOf(b);
      if ((x === 0 && y < 0) || (x < 0 && y !== Math.trunc(y))) {
        return INVALID;
      }
      return makeFloat(Math.pow(x, y));
    }],
    [1, 4, 'Float.round', 1, function (m, v) {
      return toWhole(v, Math.round);
    }],
    [1, 5, 'Float.sqrt', 1, function (m, v) {
      v = toNumber(v);
      if (v === INVALID || floatOf(v) < 0) {
        return INVALID;
      }
      return makeFloat(Math.sqrt(floatOf(v)));
    }],
    [1, 6, 'Float.maxFloat', 0, function () {
      return new Float(MAX_FLOAT);
    }],
    [1, 7, 'Float.minFloat', 0, function () {
      return new Float(MIN_FLOAT);
    }],

    [2, 0, 'String.length', 1, function (m, s) {
      s = toStr(s);
      return s === INVALID ? INVALID : s.length;
    }],
    [2, 1, 'String.isEmpty', 1, function (m, s) {
      s = toStr(s);
      return s === INVALID ? INVALID : s.length === 0;
    }],
    [2, 2, 'String.charAt', 2, function (m, s, i) {
      s = toStr(s);
      i = argInt(i);
      if (s === INVALID || i === INVALID) {
        return INVALID;
      }
      return i >= 0 && i < s.length ? s.charAt(i) : '';
    }],
    [2, 3, 'String.subString', 3, function (m, s, start, length) {
      s = toStr(s);
      start = argInt(start);
      length = argInt(length);
      if (s === INVALID || start === INVALID || length === INVALID) {
        return INVALID;
      }
      if (start < 0) {
        start = 0;
      }
      return length <= 0 || start >= s.length ? '' : s.substr(start, length);
    }],
    [2, 4, 'String.find', 2, function (m, s, sub) {
      var a = stringArgs([s, sub]);
      if (!a || a[1] === '') {
        return INVALID;
      }
      return a[0].indexOf(a[1]);
    }],
    [2, 5, 'String.replace', 3, function (m, s, from, to) {
      var a = stringArgs([s, from, to]);
      if (!a || a[1] === '') {
        return INVALID;
      }
      var parts = a[0].split(a[1]);
      if (a[0].length + (parts.length - 1) * (a[2].length - a[1].length) >
          LIMITS.stringLength) {
        fail('string');
      }
      return parts.join(a[2]);
    }],
    [2, 6, 'String.elements', 2, function (m, s, separator) {
      var a = stringArgs([s, separator]);
      if (!a || a[1] === '') {
        return INVALID;
      }
      return elementsOf(a[0], a[1]).length;
    }],
    [2, 7, 'String.elementAt', 3, function (m, s, index, separator) {
      var a = stringArgs([s, separator]);
      index = argInt(index);
      if (!a || a[1] === '' || index === INVALID) {
        return INVALID;
      }
      var list = elementsOf(a[0], a[1]);
      return list[clampIndex(index, list.length)];
    }],
    [2, 8, 'String.removeAt', 3, function (m, s, index, separator) {
      var a = stringArgs([s, separator]);
      index = argInt(index);
      if (!a || a[1] === '' || index === INVALID) {
        return INVALID;
      }
      var list = elementsOf(a[0], a[1]);
      list.splice(clampIndex(index, list.length), 1);
      return list.join(a[1].charAt(0));
    }],
    [2, 9, 'String.replaceAt', 4, function (m, s, element, index, separator) {
      var a = stringArgs([s, element, separator]);
      index = argInt(index);
      if (!a || a[2] === '' || index === INVALID) {
        return INVALID;
      }
      var list = elementsOf(a[0], a[2]);
      list[clampIndex(index, list.length)] = a[1];
      return checkString(list.join(a[2].charAt(0)));
    }],
    [2, 10, 'String.insertAt', 4, function (m, s, element, index, separator) {
      var a = stringArgs([s, element, separator]);
      index = argInt(index);
      if (!a || a[2] === '' || index === INVALID) {
        return INVALID;
      }
      // An empty string has no element to keep apart from the new one.
      if (a[0] === '') {
        return a[1];
      }
      var list = elementsOf(a[0], a[2]);
      list.splice(index < 0 ? 0 : Math.min(index, list.length), 0, a[1]);
      return checkString(list.join(a[2].charAt(0)));
    }],
    [2, 11, 'String.squeeze', 1, function (m, s) {
      s = toStr(s);
      if (s === INVALID) {
        return INVALID;
      }
      return s.replace(/[\t\n\v\f\r ]+/g, function (run) {
        return run.charAt(0);
      });
    }],
    [2, 12, 'String.trim', 1, function (m, s) {
      s = toStr(s);
      return s === INVALID ? INVALID : s.replace(/^[\t\n\v\f\r ]+|[\t\n\v\f\r ]+$/g, '');
    }],
    [2, 13, 'String.compare', 2, function (m, a, b) {
      var list = stringArgs([a, b]);
      if (!list) {
        return INVALID;
      }
      return list[0] < list[1] ? -1 : list[0] > list[1] ? 1 : 0;
    }],
    [2, 14, 'String.toString', 1, function (m, v) {
      return v === INVALID ? 'invalid' : toStr(v);
    }],
    [2, 15, 'String.format', 2, function (m, fmt, value) {
      return format(fmt, value);
    }],

    [3, 0, 'URL.isValid', 1, function (m, url) {
      url = toStr(url);
      return url === INVALID ? INVALID : splitUrl(url) !== null;
    }],
    [3, 1, 'URL.getScheme', 1, urlPart('scheme')],
    [3, 2, 'URL.getHost', 1, urlPart('host')],
    [3, 3, 'URL.getPort', 1, urlPart('port')],
    [3, 4, 'URL.getPath', 1, urlPart('path')],
    [3, 5, 'URL.getParameters', 1, urlPart('parameters')],
    [3, 6, 'URL.getQuery', 1, urlPart('query')],
    [3, 7, 'URL.getFragment', 1, urlPart('fragment')],
    [3, 8, 'URL.getBase', 0, function (m) {
      return m.frame.unit.url;
    }],
    [3, 9, 'URL.getReferer', 0, function (m) {
      var referer = m.frame.referer;
      return referer ? relativeUrl(m.frame.unit.url, referer) : '';
    }],
    [3, 10, 'URL.resolve', 2, function (m, base, embedded) {
      var a = stringArgs([base, embedded]);
      if (!a || !splitUrl(a[0]) || !splitUrl(a[1]) || !splitUrl(a[0]).scheme) {
        return INVALID;
      }
      var resolved = resolveUrl(a[0], a[1]);
      return resolved === null ? INVALID : checkString(resolved);
    }],
    [3, 11, 'URL.escapeString', 1, function (m, s) {
      s = toStr(s);
      return s === INVALID ? INVALID : escapeString(s);
    }],
    [3, 12, 'URL.unescapeString', 1, function (m, s) {
      s = toStr(s);
      return s === INVALID ? INVALID : unescapeString(s);
    }],
    [3, 13, 'URL.loadString', 2, function (m, url, contentType) {
      var a = stringArgs([url, contentType]);
      if (!a || !/^text\/[A-Za-z0-9!#$&.+\-^_]+$/.test(a[1]) || !splitUrl(a[0])) {
        return INVALID;
      }
      var address = resolveUrl(m.frame.unit.url, a[0]);
      if (address === null) {
        return INVALID;
      }
      var wanted = a[1].toLowerCase();
      return new Pending(Promise.resolve(m.host.loadString(address, a[1])).then(function (answer) {
        var status = answer && typeof answer.status === 'number' ? answer.status | 0 : 0;
        var type = answer && typeof answer.type === 'string' ?
            answer.type.split(';')[0].trim().toLowerCase() : '';
        if (status < 200 || status > 299) {
          return status;
        }
        if (type !== wanted || typeof answer.text !== 'string') {
          return 0;
        }
        return checkString(answer.text);
      }, function () {
        return 0;
      }));
    }],

    [4, 0, 'WMLBrowser.getVar', 1, function (m, name) {
      name = toStr(name);
      if (name === INVALID || !VARIABLE_NAME.test(name)) {
        return INVALID;
      }
      return checkString(String(m.host.getVar(name)));
    }],
    [4, 1, 'WMLBrowser.setVar', 2, function (m, name, value) {
      var a = stringArgs([name, value]);
      if (!a || !VARIABLE_NAME.test(a[0])) {
        return INVALID;
      }
      return m.host.setVar(a[0], a[1]) === true;
    }],
    [4, 2, 'WMLBrowser.go', 1, function (m, url) {
      url = toStr(url);
      if (url === INVALID) {
        return INVALID;
      }
      m.prev = false;
      // A relative address is taken from the unit's own address, as every
      // address a unit names; go('') cancels what go or prev asked before.
      m.go = url === '' ? null : resolveUrl(m.frame.unit.url, url);
      return '';
    }],
    [4, 3, 'WMLBrowser.prev', 0, function (m) {
      m.go = null;
      m.prev = true;
      return '';
    }],
    [4, 4, 'WMLBrowser.newContext', 0, function (m) {
      m.host.newContext();
      return '';
    }],
    [4, 5, 'WMLBrowser.getCurrentCard', 0, function (m) {
      var card = m.host.currentCard();
      return card ? relativeUrl(m.frame.unit.url, String(card)) : INVALID;
    }],
    [4, 6, 'WMLBrowser.refresh', 0, function (m) {
      m.refresh = true;
      return '';
    }],

    [5, 0, 'Dialogs.prompt', 2, function (m, message, defaultInput) {
      var a = stringArgs([message, defaultInput]);
      if (!a) {
        return INVALID;
      }
      var answer = m.dialog(function () {
        return m.host.prompt(a[0], a[1]);
      });
      return typeof answer === 'string' ? checkString(answer) : '';
    }],
    [5, 1, 'Dialogs.confirm', 3, function (m, message, ok, cancel) {
      var a = stringArgs([message, ok, cancel]);
      if (!a) {
        return INVALID;
      }
      return m.dialog(function () {
        return m.host.confirm(a[0], a[1], a[2]);
      }) === true;
    }],
    [5, 2, 'Dialogs.alert', 1, function (m, message) {
      message = toStr(message);
      if (message === INVALID) {
        return INVALID;
      }
      m.dialog(function () {
        m.host.alert(message);
      });
      return '';
    }]
  ];

  // LIBRARY[library][function] = {args, call}.
  var LIBRARY = [];
  TABLE.forEach(function (row) {
    (LIBRARY[row[0]] = LIBRARY[row[0]] || [])[row[1]] = {args: row[3], call: row[4]};
  });

  // --- Loading units ---------------------------------------------------------

  // Parsed units of this page by address: a promise of the unit. A unit that
  // failed to load is forgotten so that a later run may try again.
  var units = new Map();

  function loadUnit(host, url) {
    var known = units.get(url);
    if (known) {
      return known;
    }
    if (units.size >= LIMITS.units) {
      return Promise.reject(new Fatal(MESSAGES.units));
    }
    var promise = Promise.resolve().then(function () {
      return host.loadUnit(url);
    }).then(function (buffer) {
      if (!(buffer instanceof ArrayBuffer)) {
        fail('malformed');
      }
      return parseUnit(buffer, url);
    }, function (error) {
      var text = error && typeof error.message === 'string' && error.message ?
          error.message : '无法载入脚本单元。';
      throw new Fatal(text);
    });
    units.set(url, promise);
    promise.catch(function () {
      if (units.get(url) === promise) {
        units.delete(url);
      }
    });
    return promise;
  }

  // --- The machine -----------------------------------------------------------

  function Frame(unit, fn, bp, referer) {
    this.unit = unit;
    this.code = fn.code;
    this.vars = fn.vars;
    this.pc = 0;
    this.bp = bp;
    this.referer = referer;
  }

  function Machine(host) {
    this.host = host;
    this.stack = new Array(LIMITS.stack + 8);
    this.sp = 0;
    this.frames = [];
    this.frame = null;
    this.instructions = 0;
    this.dialogMillis = 0;
    this.go = null;
    this.prev = false;
    this.refresh = false;
    this.exitValue = undefined;
    this.result = undefined;
    this.loaded = null;  // a unit CALL_URL waited for
    this.left = 0;       // the budget execute() left unused
  }

  // A user's dialog: its time is not the script's running time.
  Machine.prototype.dialog = function (show) {
    var start = performance.now();
    try {
      return show();
    } finally {
      this.dialogMillis += performance.now() - start;
    }
  };

  Machine.prototype.enter = function (unit, index, referer) {
    var fn = unit.functions[index];
    if (this.frames.length >= LIMITS.callDepth) {
      fail('depth');
    }
    var bp = this.sp - fn.args;
    if (bp < 0 || bp + fn.vars > LIMITS.stack) {
      fail(bp < 0 ? 'malformed' : 'stack');
    }
    for (var i = bp + fn.args; i < bp + fn.vars; i++) {
      this.stack[i] = '';
    }
    this.sp = bp + fn.vars;
    if (this.frame) {
      this.frames.push(this.frame);
    }
    this.frame = new Frame(unit, fn, bp, referer);
  };

  // Leaves the current frame with value; true when it was the entry function.
  Machine.prototype.leave = function (value) {
    this.sp = this.frame.bp;
    if (this.frames.length === 0) {
      this.result = value;
      this.frame = null;
      return true;
    }
    this.frame = this.frames.pop();
    this.stack[this.sp++] = value;
    return false;
  };

  // CALL_URL once its unit is here: the function must be extern there, take
  // as many arguments as given, and the unit's use access must let the
  // calling unit in.
  Machine.prototype.callUrl = function (unit, name, argCount) {
    var index = unit.names.get(name);
    if (index === undefined) {
      throw new Fatal('脚本单元中没有可调用的函数 ' + name + '。');
    }
    if (unit.functions[index].args !== argCount) {
      throw new Fatal('调用函数 ' + name + ' 的参数个数不对。');
    }
    if (!accessAllowed(unit, this.frame.unit.url)) {
      fail('access');
    }
    this.enter(unit, index, this.frame.unit.url);
  };

  // Runs up to budget instructions. Returns null when the run ended (result
  // set), the number of instructions left when the slice is used up, or a
  // Pending when it must wait.
  Machine.prototype.execute = function (budget) {
    var st = this.stack;
    var sp = this.sp;
    var frame = this.frame;
    var code = frame.code;
    var pc = frame.pc;
    var bp = frame.bp;
    var nv = frame.vars;
    var consts = frame.unit.consts;
    var stackEnd = LIMITS.stack;
    var op, a, b, i, at, r;
    var self = this;

    function save() {
      frame.pc = pc;
      self.sp = sp;
      self.left = budget < 0 ? 0 : budget;
    }
    function load() {
      frame = self.frame;
      sp = self.sp;
      code = frame.code;
      pc = frame.pc;
      bp = frame.bp;
      nv = frame.vars;
      consts = frame.unit.consts;
    }
    function constant(index) {
      if (!(index < consts.length)) {
        fail('malformed');
      }
      return consts[index];
    }
    function variable(index) {
      if (!(index < nv)) {
        fail('malformed');
      }
      return bp + index;
    }
    function callLocal(index) {
      if (!(index < frame.unit.functions.length)) {
        fail('malformed');
      }
      save();
      self.enter(frame.unit, index, frame.referer);
      load();
    }
    // Returns what the loop must return, or undefined to go on.
    function callLibrary(lib, index) {
      var entry = LIBRARY[lib] && LIBRARY[lib][index];
      if (!entry) {
        fail('instruction');
      }
      var n = entry.args;
      if (sp - n < bp + nv || sp - n >= stackEnd) {
        fail(sp - n < bp + nv ? 'malformed' : 'stack');
      }
      sp -= n;
      save();
      var value = n === 0 ? entry.call(self) :
          n === 1 ? entry.call(self, st[sp]) :
          n === 2 ? entry.call(self, st[sp], st[sp + 1]) :
          n === 3 ? entry.call(self, st[sp], st[sp + 1], st[sp + 2]) :
          entry.call(self, st[sp], st[sp + 1], st[sp + 2], st[sp + 3]);
      if (value === EXIT) {
        self.result = self.exitValue;
        self.frame = null;
        return null;
      }
      if (value instanceof Pending) {
        return value;
      }
      st[sp++] = value;
      return undefined;
    }
    function callUrl(urlIndex, nameIndex, argCount) {
      var address = constant(urlIndex);
      var name = constant(nameIndex);
      if (typeof address !== 'string' || typeof name !== 'string' || sp - argCount < bp + nv) {
        fail('malformed');
      }
      var url = resolveUrl(frame.unit.url, address);
      if (url === null) {
        throw new Fatal('脚本单元的地址有误：' + address);
      }
      url = withoutFragment(url);
      var unit = self.loaded && self.loaded.url === url ? self.loaded : null;
      self.loaded = null;
      if (!unit) {
        return new Pending(loadUnit(self.host, url).then(function (u) {
          self.loaded = u;
          return undefined;
        }));
      }
      save();
      self.callUrl(unit, name, argCount);
      load();
      return undefined;
    }
    function jumpTo(target) {
      if (target < 0 || target > code.length) {
        fail('malformed');
      }
      return target;
    }

    for (;;) {
      if (--budget < 0) {
        save();
        return 0;
      }
      at = pc;
      op = code[pc++];
      if (op >= 0x80) {
        switch (op >> 5) {
          case 4:  // JUMP_FW_S
            pc = jumpTo(pc + (op & 31));
            continue;
          case 5:  // JUMP_BW_S
            pc = jumpTo(at - (op & 31));
            continue;
          case 6:  // TJUMP_FW_S
            if (sp <= bp + nv) {
              fail('malformed');
            }
            a = st[--sp];
            if (a !== true && (a === false || toBool(a) !== true)) {
              pc = jumpTo(pc + (op & 31));
            }
            continue;
          default:  // LOAD_VAR_S
            i = op & 31;
            if (i >= nv || sp >= stackEnd) {
              fail(i >= nv ? 'malformed' : 'stack');
            }
            st[sp++] = st[bp + i];
            continue;
        }
      }
      if (op >= 0x40) {
        if (op < 0x50) {  // STORE_VAR_S
          i = op & 15;
          if (i >= nv || sp <= bp + nv) {
            fail('malformed');
          }
          st[bp + i] = st[--sp];
        } else if (op < 0x60) {  // LOAD_CONST_S
          if (sp >= stackEnd) {
            fail('stack');
          }
          st[sp++] = constant(op & 15);
        } else if (op < 0x68) {  // CALL_S
          callLocal(op & 7);
        } else if (op < 0x70) {  // CALL_LIB_S
          r = callLibrary(code[pc++], op & 7);
          if (r !== undefined) {
            return r;
          }
        } else if (op < 0x78) {  // INCR_VAR_S
          i = bp + (op & 7);
          if ((op & 7) >= nv) {
            fail('malformed');
          }
          a = st[i];
          st[i] = typeof a === 'number' && a < MAX_INT ? a + 1 : step(a, 1);
        } else {
          fail('instruction');
        }
        continue;
      }
      switch (op) {
        case 0x01:  // JUMP_FW
          pc = jumpTo(pc + 1 + code[pc]);
          break;
        case 0x02:  // JUMP_FW_W
          pc = jumpTo(pc + 2 + (code[pc] << 8 | code[pc + 1]));
          break;
        case 0x03:  // JUMP_BW
          pc = jumpTo(at - code[pc]);
          break;
        case 0x04:  // JUMP_BW_W
          pc = jumpTo(at - (code[pc] << 8 | code[pc + 1]));
          break;
        case 0x05:  // TJUMP_FW
        case 0x06:  // TJUMP_FW_W
        case 0x07:  // TJUMP_BW
        case 0x08:  // TJUMP_BW_W
          i = op & 1 ? code[pc++] : (code[pc++] << 8 | code[pc++]);
          a = st[--sp];
          if (a !== true && toBool(a) !== true) {
            pc = jumpTo(op <= 0x06 ? pc + i : at - i);
          }
          break;
        case 0x09:  // CALL
          callLocal(code[pc++]);
          break;
        case 0x0A:  // CALL_LIB
          i = code[pc++];
          r = callLibrary(code[pc++], i);
          if (r !== undefined) {
            return r;
          }
          break;
        case 0x0B:  // CALL_LIB_W
          i = code[pc++];
          r = callLibrary(code[pc++] << 8 | code[pc++], i);
          if (r !== undefined) {
            return r;
          }
          break;
        case 0x0C:  // CALL_URL
        case 0x0D:  // CALL_URL_W
          if (op === 0x0C) {
            a = code[pc++];
            b = code[pc++];
          } else {
            a = code[pc++] << 8 | code[pc++];
            b = code[pc++] << 8 | code[pc++];
          }
          i = code[pc++];
          if (i === undefined) {
            fail('malformed');
          }
          r = callUrl(a, b, i);
          if (r !== undefined) {
            // Comes back to this instruction once the unit is here.
            pc = at;
            save();
            return r;
          }
          break;
        case 0x0E:  // LOAD_VAR
          if (sp >= stackEnd) {
            fail('stack');
          }
          st[sp++] = st[variable(code[pc++])];
          break;
        case 0x0F:  // STORE_VAR
          st[variable(code[pc++])] = st[--sp];
          break;
        case 0x10:  // INCR_VAR
        case 0x11:  // DECR_VAR
          i = variable(code[pc++]);
          st[i] = step(st[i], op === 0x10 ? 1 : -1);
          break;
        case 0x12:  // LOAD_CONST
        case 0x13:  // LOAD_CONST_W
          if (sp >= stackEnd) {
            fail('stack');
          }
          st[sp++] = constant(op === 0x12 ? code[pc++] : (code[pc++] << 8 | code[pc++]));
          break;
        case 0x14:
        case 0x15:
        case 0x16:
        case 0x17:
        case 0x18:
        case 0x19:
        case 0x1A:
          if (sp >= stackEnd) {
            fail('stack');
          }
          st[sp++] = op === 0x14 ? 0 : op === 0x15 ? 1 : op === 0x16 ? -1 : op === 0x17 ? '' :
              op === 0x18 ? INVALID : op === 0x19;
          break;
        case 0x1B:  // INCR
          st[sp - 1] = step(st[sp - 1], 1);
          break;
        case 0x1C:  // DECR
          st[sp - 1] = step(st[sp - 1], -1);
          break;
        case 0x1D:  // ADD_ASG
          i = variable(code[pc++]);
          st[i] = add(st[i], st[--sp]);
          break;
        case 0x1E:  // SUB_ASG
          i = variable(code[pc++]);
          st[i] = arith(1, st[i], st[--sp]);
          break;
        case 0x1F:  // UMINUS
          st[sp - 1] = negate(st[sp - 1]);
          break;
        case 0x20:  // ADD
          b = st[--sp];
          a = st[sp - 1];
          if (typeof a === 'number' && typeof b === 'number') {
            r = a + b;
            st[sp - 1] = r > MAX_INT || r < MIN_INT ? INVALID : r;
          } else {
            st[sp - 1] = add(a, b);
          }
          break;
        case 0x21:  // SUB
        case 0x22:  // MUL
          b = st[--sp];
          st[sp - 1] = arith(op - 0x20, st[sp - 1], b);
          break;
        case 0x23:  // DIV
          b = st[--sp];
          st[sp - 1] = divide(st[sp - 1], b);
          break;
        case 0x25:  // REM
          b = st[--sp];
          a = st[sp - 1];
          if (typeof a === 'number' && typeof b === 'number' && b !== 0) {
            st[sp - 1] = (a % b) | 0;
            break;
          }
          st[sp - 1] = integerOp(op, a, b);
          break;
        case 0x24:  // IDIV
        case 0x26:  // B_AND
        case 0x27:  // B_OR
        case 0x28:  // B_XOR
        case 0x2A:  // B_LSHIFT
        case 0x2B:  // B_RSSHIFT
        case 0x2C:  // B_RSZSHIFT
          b = st[--sp];
          st[sp - 1] = integerOp(op, st[sp - 1], b);
          break;
        case 0x29:  // B_NOT
          a = toInt(st[sp - 1]);
          st[sp - 1] = a === INVALID ? INVALID : ~a;
          break;
        case 0x2D:  // EQ
        case 0x2E:  // LE
        case 0x2F:  // LT
        case 0x30:  // GE
        case 0x31:  // GT
        case 0x32:  // NE
          b = st[--sp];
          a = st[sp - 1];
          if (typeof a === 'number' && typeof b === 'number') {
            st[sp - 1] = op === 0x2F ? a < b : op === 0x2E ? a <= b : op === 0x31 ? a > b :
                op === 0x30 ? a >= b : op === 0x2D ? a === b : a !== b;
          } else {
            st[sp - 1] = compare(op, a, b);
          }
          break;
        case 0x33:  // NOT
          a = toBool(st[sp - 1]);
          st[sp - 1] = a === INVALID ? INVALID : !a;
          break;
        case 0x34:  // SCAND: false or invalid decides the result and jumps
          if (sp >= stackEnd) {
            fail('stack');
          }
          a = toBool(st[sp - 1]);
          if (a === true) {
            st[sp - 1] = true;
          } else {
            st[sp - 1] = a;
            st[sp++] = false;
          }
          break;
        case 0x35:  // SCOR: true or invalid decides the result and jumps
          if (sp >= stackEnd) {
            fail('stack');
          }
          a = toBool(st[sp - 1]);
          if (a === false) {
            st[sp - 1] = true;
          } else {
            st[sp - 1] = a;
            st[sp++] = false;
          }
          break;
        case 0x36:  // TOBOOL
          st[sp - 1] = toBool(st[sp - 1]);
          break;
        case 0x37:  // POP
          --sp;
          break;
        case 0x38:  // TYPEOF
          st[sp - 1] = typeCode(st[sp - 1]);
          break;
        case 0x39:  // ISVALID
          st[sp - 1] = st[sp - 1] !== INVALID;
          break;
        case 0x3A:  // RETURN
        case 0x3B:  // RETURN_ES
          if (op === 0x3A && sp <= bp + nv) {
            fail('malformed');
          }
          a = op === 0x3A ? st[--sp] : '';
          save();
          if (self.leave(a)) {
            return null;
          }
          load();
          break;
        case 0x3C:  // DEBUG
          break;
        default:
          fail(op === undefined ? 'malformed' : 'instruction');
      }
      // An instruction that pops must find its operand above the frame's
      // variables.
      if (sp < bp + nv) {
        fail('malformed');
      }
    }
  };

  // --- Calls from decks --------------------------------------------------------

  // A literal of a call in a deck's address: integer, float, 'string',
  // "string", true, false or invalid.
  var CALL_TOKEN = new RegExp(
      '\\s*(?:' +
      '([+-]?(?:0[xX][0-9A-Fa-f]+|(?:[0-9]+\\.?[0-9]*|\\.[0-9]+)(?:[eE][+-]?[0-9]+)?))' +
      '|\'((?:[^\'\\\\]|\\\\[\\s\\S])*)\'' +
      '|"((?:[^"\\\\]|\\\\[\\s\\S])*)"' +
      '|(true|false|invalid)(?![A-Za-z0-9_])' +
      ')\\s*', 'y');
  var ESCAPES = {'b': '\b', 'f': '\f', 'n': '\n', 'r': '\r', 't': '\t'};

  function unescapeLiteral(s) {
    var ok = true;
    var text = s.replace(/\\(?:x([0-9A-Fa-f]{2})|u([0-9A-Fa-f]{4})|([0-7]{1,3})|([\s\S]))/g,
                         function (all, hex, unicode, octal, other) {
                           if (hex || unicode) {
                             return String.fromCharCode(parseInt(hex || unicode, 16));
                           }
                           if (octal) {
                             var code = parseInt(octal, 8);
                             ok = ok && code < 256;
                             return String.fromCharCode(code);
                           }
                           if ('\'"\\/'.indexOf(other) >= 0) {
                             return other;
                           }
                           ok = ok && other in ESCAPES;
                           return ESCAPES[other] || '';
                         });
    return ok ? text : null;
  }

  function parseCall(text) {
    if (typeof text !== 'string' || text.length > LIMITS.callText) {
      return null;
    }
    var head = /^\s*([A-Za-z_][A-Za-z0-9_]*)\s*\(/.exec(text);
    if (!head) {
      return null;
    }
    var args = [];
    var at = head[0].length;
    if (/^\s*\)\s*$/.test(text.slice(at))) {
      return {name: head[1], args: args};
    }
    for (;;) {
      CALL_TOKEN.lastIndex = at;
      var m = CALL_TOKEN.exec(text);
      if (!m || args.length >= LIMITS.callArguments) {
        return null;
      }
      var value;
      if (m[1] !== undefined) {
        var literal = m[1];
        var negative = literal.charAt(0) === '-';
        var body = literal.replace(/^[+-]/, '');
        if (/^0[xX]/.test(body) || /^[0-9]+$/.test(body)) {
          var n = /^0[xX]/.test(body) ? parseInt(body, 16) :
              /^0[0-7]+$/.test(body) ? parseInt(body, 8) : Number(body);
          if (/^0[0-9]*[89]/.test(body) && body.length > 1) {
            return null;
          }
          n = negative ? -n : n;
          if (n > MAX_INT || n < MIN_INT) {
            return null;
          }
          value = n;
        } else {
          value = makeFloat(Number(literal));
        }
      } else if (m[2] !== undefined || m[3] !== undefined) {
        value = unescapeLiteral(m[2] !== undefined ? m[2] : m[3]);
        if (value === null) {
          return null;
        }
      } else {
        value = m[4] === 'true' ? true : m[4] === 'false' ? false : INVALID;
      }
      args.push(value);
      at = CALL_TOKEN.lastIndex;
      var next = text.charAt(at);
      if (next === ',') {
        at++;
      } else if (next === ')' && /^\s*$/.test(text.slice(at + 1))) {
        return {name: head[1], args: args};
      } else {
        return null;
      }
    }
  }

  // Gives the page its event loop back for a moment. A message rather than a
  // timer: the engine holds back timers of a page that is not in view.
  var yieldChannel = null;
  var yieldWaiting = [];
  function yieldToPage() {
    return new Promise(function (resolve) {
      if (!yieldChannel) {
        yieldChannel = new MessageChannel();
        yieldChannel.port1.onmessage = function () {
          var next = yieldWaiting.shift();
          if (next) {
            next();
          }
        };
      }
      yieldWaiting.push(resolve);
      yieldChannel.port2.postMessage(0);
    });
  }

  async function drive(m, host, unitUrl, call) {
    if (!call || typeof call.name !== 'string' || !Array.isArray(call.args) ||
        call.args.length > LIMITS.callArguments) {
      fail('call');
    }
    var unit = await loadUnit(host, withoutFragment(unitUrl));
    var index = unit.names.get(call.name);
    if (index === undefined) {
      throw new Fatal('脚本单元中没有可调用的函数 ' + call.name + '。');
    }
    if (unit.functions[index].args !== call.args.length) {
      throw new Fatal('调用函数 ' + call.name + ' 的参数个数不对。');
    }
    for (var i = 0; i < call.args.length; i++) {
      m.stack[m.sp++] = call.args[i];
    }
    var referer = '';
    try {
      referer = String(host.currentCard() || '');
    } catch (e) {
    }
    // The deck's card calls the unit as another unit would: its use access
    // must let the card in.
    if (!accessAllowed(unit, referer)) {
      fail('access');
    }
    m.enter(unit, index, referer);
    var millis = 0;
    var sinceYield = performance.now();
    for (;;) {
      var left = LIMITS.instructions - m.instructions;
      if (left <= 0) {
        fail('timeout');
      }
      var budget = Math.min(SLICE, left);
      var start = performance.now();
      m.dialogMillis = 0;
      var r = m.execute(budget);
      var end = performance.now();
      millis += end - start - m.dialogMillis;
      m.instructions += budget - m.left;
      if (r === null) {
        return m.result;
      }
      if (millis > LIMITS.millis) {
        fail('timeout');
      }
      if (r instanceof Pending) {
        var value = await r.promise;
        sinceYield = performance.now();
        if (value !== undefined) {
          m.stack[m.sp++] = value;
        }
      } else if (end - sinceYield - m.dialogMillis > YIELD_EVERY) {
        await yieldToPage();
        sinceYield = performance.now();
      }
    }
  }

  async function run(host, unitUrl, call) {
    var m = new Machine(host);
    var outcome = {error: '', go: null, prev: false, refresh: false, result: 'invalid',
                   instructions: 0};
    try {
      var value = await drive(m, host, String(unitUrl), call);
      outcome.result = describe(value);
    } catch (e) {
      outcome.error = e instanceof Fatal ? e.message : MESSAGES.internal;
    }
    // A script stopped by a fatal error asks nothing of the browser: a go it
    // asked for before the error is not carried out.
    if (!outcome.error) {
      outcome.go = m.go;
      outcome.prev = m.prev;
      outcome.refresh = m.refresh;
    }
    outcome.instructions = m.instructions;
    return outcome;
  }

  return Object.freeze({
    parseCall: parseCall,
    run: function (host, unitUrl, call) {
      try {
        return run(host, unitUrl, call);
      } catch (e) {
        return Promise.resolve({error: MESSAGES.internal, go: null, prev: false, refresh: false,
                                result: 'invalid', instructions: 0});
      }
    },
    limits: LIMITS,
    libraries: Object.freeze(TABLE.map(function (row) {
      return Object.freeze([row[0], row[1], row[2], row[3]]);
    }))
  });
})();
