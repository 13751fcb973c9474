// The editor's side in the page. It runs in a world of its own, apart from
// the page's scripts (which never run), answers the host's command numbers
// with status flags, executes them, and reports the state after each change.
(function () {
    'use strict';
    if (window.__vltEditor) return;

    var S = 1, E = 2, L = 4, I = 8;
    var host = null;
    var grid = [0, 0];
    var constrain = false;
    var activate = {23: false, 24: false, 25: false};
    var showBorders = false, showDetails = false;
    var controlNode = null;  // the element selected as a whole
    var drag = null;
    var asLoaded = null;
    var pushTimer = 0;
    var seq = 0;

    var bordersSheet = new CSSStyleSheet();
    bordersSheet.replaceSync(
        'table, td, th { outline: 1px dashed #a0a0a0; outline-offset: -1px; }');
    var detailsSheet = new CSSStyleSheet();
    detailsSheet.replaceSync(
        'body script, body style, body noscript { display: inline-block !important; width: 14px; height: 14px;' +
        ' overflow: hidden; font-size: 0 !important; border: 1px solid #808080; background: #ffffe0;' +
        ' vertical-align: middle; }' +
        'body script::before { content: "S"; font: 10px sans-serif; }' +
        'body style::before { content: "C"; font: 10px sans-serif; }' +
        'body noscript::before { content: "N"; font: 10px sans-serif; }' +
        'a[name]:not([href])::before { content: "\\2693"; font: 10px sans-serif; color: #808080; }' +
        'input[type=hidden] { display: inline-block !important; width: 10px; height: 10px; border: 1px dotted #808080; }');

    function applySheets() {
        var own = [bordersSheet, detailsSheet];
        var sheets = document.adoptedStyleSheets.filter(function (s) { return own.indexOf(s) < 0; });
        if (showBorders) sheets.push(bordersSheet);
        if (showDetails) sheets.push(detailsSheet);
        document.adoptedStyleSheets = sheets;
    }

    function isText() { return document.contentType === 'text/plain'; }
    function editable() { return document.designMode === 'on'; }

    // --- selection ---------------------------------------------------------

    function selRange() {
        var s = window.getSelection();
        return s && s.rangeCount ? s.getRangeAt(0) : null;
    }
    function elementOf(node) {
        while (node && node.nodeType !== 1) node = node.parentNode;
        return node;
    }
    function currentControl() {
        var r = selRange();
        if (!controlNode || !r || !controlNode.isConnected) return null;
        if (r.startContainer === controlNode.parentNode && r.endContainer === controlNode.parentNode &&
            r.endOffset - r.startOffset === 1 && r.startContainer.childNodes[r.startOffset] === controlNode)
            return controlNode;
        return null;
    }
    function selectNode(el) {
        var r = document.createRange();
        r.selectNode(el);
        var s = window.getSelection();
        s.removeAllRanges();
        s.addRange(r);
        controlNode = el;
    }
    function caretElement() {
        var c = currentControl();
        if (c) return c;
        var r = selRange();
        if (!r) return null;
        return elementOf(r.commonAncestorContainer);
    }
    function isPositioned(el) {
        return el && el.nodeType === 1 && el !== document.body && el !== document.documentElement &&
            getComputedStyle(el).position === 'absolute';
    }
    // The element the positioning commands work on: the selected control,
    // else the nearest positioned element or block around the caret.
    function targetElement() {
        var c = currentControl();
        if (c) return c;
        var el = caretElement();
        for (var p = el; p && p !== document.body; p = p.parentElement) if (isPositioned(p)) return p;
        for (p = el; p && p !== document.body; p = p.parentElement) {
            var d = getComputedStyle(p).display;
            if (d === 'block' || d === 'list-item' || d === 'table') return p;
        }
        return null;
    }
    function positionedTarget() {
        var t = targetElement();
        return isPositioned(t) ? t : null;
    }
    function locked(el) { return el.getAttribute('data-lock') === 'true'; }
    function zOf(el) { var z = parseInt(el.style.zIndex, 10); return isNaN(z) ? 0 : z; }

    function selectionInfo() {
        var info = {type: 'None', tag: '', href: '', parentTag: '', parentHref: '', text: ''};
        var s = window.getSelection();
        if (!s || !s.rangeCount) return info;
        var c = currentControl(), el;
        if (c) {
            info.type = 'Control';
            el = c;
        } else {
            info.type = 'Text';
            el = elementOf(s.getRangeAt(0).commonAncestorContainer);
            info.text = s.toString();
        }
        if (el) {
            info.tag = el.tagName.toUpperCase();
            if (el.tagName === 'A' && el.hasAttribute('href')) info.href = el.getAttribute('href');
            var p = el.parentElement;
            if (p) {
                info.parentTag = p.tagName.toUpperCase();
                if (p.tagName === 'A' && p.hasAttribute('href')) info.parentHref = p.getAttribute('href');
            }
        }
        return info;
    }

    // --- tables ------------------------------------------------------------

    function cellOf(node) {
        for (var el = elementOf(node); el && el !== document.body; el = el.parentElement)
            if (el.tagName === 'TD' || el.tagName === 'TH') return el;
        return null;
    }
    function currentCell() {
        var r = selRange();
        return r ? cellOf(r.startContainer) : null;
    }
    function tableOf(cell) {
        var el = cell;
        while (el && el.tagName !== 'TABLE') el = el.parentElement;
        return el;
    }
    // The table as a grid: grid[row][col] = the cell covering it.
    function tableGrid(table) {
        var rows = Array.prototype.filter.call(table.rows, function (r) { return tableOf(r) === table; });
        var g = rows.map(function () { return []; });
        rows.forEach(function (row, y) {
            var x = 0;
            Array.prototype.forEach.call(row.cells, function (cell) {
                while (g[y][x]) x++;
                for (var dy = 0; dy < Math.max(1, cell.rowSpan); dy++)
                    for (var dx = 0; dx < Math.max(1, cell.colSpan); dx++)
                        if (g[y + dy]) g[y + dy][x + dx] = cell;
                x += Math.max(1, cell.colSpan);
            });
        });
        return {rows: rows, g: g};
    }
    function cellPos(t, cell) {
        for (var y = 0; y < t.g.length; y++)
            for (var x = 0; x < t.g[y].length; x++) if (t.g[y][x] === cell) return {x: x, y: y};
        return null;
    }
    function newCellLike(cell) {
        var c = document.createElement(cell ? cell.tagName.toLowerCase() : 'td');
        if (cell) Array.prototype.forEach.call(cell.attributes, function (a) {
            if (a.name !== 'colspan' && a.name !== 'rowspan' && a.name !== 'id') c.setAttribute(a.name, a.value);
        });
        c.appendChild(document.createElement('br'));
        return c;
    }
    function placeCaret(el) {
        if (copySelection) { copyCaret = el; return; }
        var r = document.createRange();
        r.selectNodeContents(el);
        r.collapse(true);
        var s = window.getSelection();
        s.removeAllRanges();
        s.addRange(r);
        controlNode = null;
    }
    // While a command works on a copy of the table: the copy's selected
    // cells, and where the caret is to go.
    var copySelection = null, copyCaret = null;
    function selectedCells(table) {
        if (copySelection) return copySelection;
        var r = selRange();
        if (!r) return [];
        return Array.prototype.filter.call(table.querySelectorAll('td, th'), function (c) {
            return tableOf(c) === table && r.intersectsNode(c);
        });
    }
    function mergeTargets(cell) {
        var table = tableOf(cell), cells = selectedCells(table);
        if (cells.length >= 2) {
            var row = cells[0].parentElement;
            return cells.every(function (c) { return c.parentElement === row && c.rowSpan === cells[0].rowSpan; })
                ? cells : [];
        }
        var next = cell.nextElementSibling;
        return next && next.rowSpan === cell.rowSpan ? [cell, next] : [];
    }

    var tableOps = {
        14: function (cell) {  // a row below the caret's
            var t = tableGrid(tableOf(cell)), p = cellPos(t, cell);
            var y = p.y + Math.max(1, cell.rowSpan) - 1, row = t.rows[y];
            var tr = document.createElement('tr');
            var seen = [];
            t.g[y].forEach(function (c) {
                if (seen.indexOf(c) >= 0) return;
                seen.push(c);
                var top = cellPos(t, c).y;
                if (top + Math.max(1, c.rowSpan) - 1 > y) { c.rowSpan += 1; return; }
                var n = newCellLike(c);
                if (c.colSpan > 1) n.colSpan = c.colSpan;
                tr.appendChild(n);
            });
            row.parentNode.insertBefore(tr, row.nextSibling);
            if (tr.firstChild) placeCaret(tr.firstChild);
        },
        15: function (cell) {  // a column right of the caret's
            var t = tableGrid(tableOf(cell)), p = cellPos(t, cell);
            var x = p.x + Math.max(1, cell.colSpan) - 1, done = [];
            t.rows.forEach(function (row, y) {
                var c = t.g[y][x];
                if (!c) { row.appendChild(newCellLike(null)); return; }
                if (done.indexOf(c) >= 0) return;
                done.push(c);
                var pos = cellPos(t, c);
                if (pos.x + Math.max(1, c.colSpan) - 1 > x) { c.colSpan += 1; return; }
                var n = newCellLike(c);
                if (c.rowSpan > 1) n.rowSpan = c.rowSpan;
                c.parentNode.insertBefore(n, c.nextSibling);
            });
        },
        16: function (cell) {  // the rows the selection touches
            var table = tableOf(cell), cells = selectedCells(table);
            if (!cells.length) cells = [cell];
            var rows = [];
            cells.forEach(function (c) { if (rows.indexOf(c.parentElement) < 0) rows.push(c.parentElement); });
            var t = tableGrid(table);
            rows.forEach(function (row) {
                var y = t.rows.indexOf(row);
                // A cell reaching down from this row moves into the next one.
                t.g[y].forEach(function (c, x) {
                    if (c.parentElement === row && c.rowSpan > 1 && t.rows[y + 1] && t.g[y + 1][x] === c &&
                        (x === 0 || t.g[y][x - 1] !== c)) {
                        var below = t.rows[y + 1], before = null;
                        for (var xx = x + 1; xx < t.g[y + 1].length; xx++) {
                            var o = t.g[y + 1][xx];
                            if (o && o.parentElement === below) { before = o; break; }
                        }
                        c.rowSpan -= 1;
                        below.insertBefore(c, before);
                    } else if (c.parentElement !== row && c.rowSpan > 1 && (x === 0 || t.g[y][x - 1] !== c)) {
                        c.rowSpan -= 1;
                    }
                });
                row.parentNode.removeChild(row);
                t = tableGrid(table);
            });
            if (!table.querySelector('td, th')) table.parentNode.removeChild(table);
        },
        17: function (cell) {  // the columns the selection touches
            var table = tableOf(cell), cells = selectedCells(table);
            if (!cells.length) cells = [cell];
            var t = tableGrid(table), cols = [];
            cells.forEach(function (c) {
                var p = cellPos(t, c);
                for (var dx = 0; dx < Math.max(1, c.colSpan); dx++) if (cols.indexOf(p.x + dx) < 0) cols.push(p.x + dx);
            });
            var affected = [];
            cols.forEach(function (x) {
                t.g.forEach(function (row) { var c = row[x]; if (c && affected.indexOf(c) < 0) affected.push(c); });
            });
            affected.forEach(function (c) {
                var p = cellPos(t, c), n = 0;
                for (var dx = 0; dx < Math.max(1, c.colSpan); dx++) if (cols.indexOf(p.x + dx) >= 0) n++;
                if (n >= Math.max(1, c.colSpan)) c.parentNode.removeChild(c);
                else c.colSpan -= n;
            });
            Array.prototype.slice.call(table.rows).forEach(function (r) {
                if (!r.cells.length) r.parentNode.removeChild(r);
            });
            if (!table.querySelector('td, th')) table.parentNode.removeChild(table);
        },
        18: function (cell) {  // the selected cells of a row, or this one and the next
            var cells = mergeTargets(cell), first = cells[0], span = 0;
            cells.forEach(function (c, i) {
                span += Math.max(1, c.colSpan);
                if (i === 0) return;
                var hasContent = c.textContent.trim() !== '' || c.querySelector('img, table, hr');
                if (hasContent) {
                    if (first.lastChild && first.lastChild.nodeName === 'BR' && first.childNodes.length === 1)
                        first.removeChild(first.lastChild);
                    else first.appendChild(document.createElement('br'));
                    while (c.firstChild) first.appendChild(c.firstChild);
                }
                c.parentNode.removeChild(c);
            });
            first.colSpan = span;
            placeCaret(first);
        },
        19: function (cell) {  // gives back one column or row of a spanning cell
            if (cell.colSpan > 1) {
                var n = newCellLike(cell);
                if (cell.rowSpan > 1) n.rowSpan = cell.rowSpan;
                cell.colSpan -= 1;
                cell.parentNode.insertBefore(n, cell.nextSibling);
                return;
            }
            var t = tableGrid(tableOf(cell)), p = cellPos(t, cell);
            var y = p.y + cell.rowSpan - 1, row = t.rows[y], before = null;
            for (var x = p.x + 1; x < t.g[y].length; x++) {
                var o = t.g[y][x];
                if (o && o.parentElement === row) { before = o; break; }
            }
            cell.rowSpan -= 1;
            row.insertBefore(newCellLike(cell), before);
        },
        20: function (cell) {  // a cell before the caret's
            var n = newCellLike(cell);
            cell.parentNode.insertBefore(n, cell);
            placeCaret(n);
        },
        21: function (cell) {
            var table = tableOf(cell), cells = selectedCells(table);
            if (!cells.length) cells = [cell];
            cells.forEach(function (c) {
                var row = c.parentElement;
                row.removeChild(c);
                if (!row.cells.length) row.parentNode.removeChild(row);
            });
            if (!table.querySelector('td, th')) table.parentNode.removeChild(table);
        },
    };
    function ownCells(table) {
        return Array.prototype.filter.call(table.querySelectorAll('td, th'), function (c) { return tableOf(c) === table; });
    }
    // The command works on a copy; the copy then takes the table's place
    // through the engine's own editing, so that undo brings the table back.
    function tableCommand(cmd, cell) {
        var table = tableOf(cell), live = ownCells(table), picked = selectedCells(table);
        var copy = table.cloneNode(true), copies = ownCells(copy);
        var copyCell = copies[live.indexOf(cell)];
        copySelection = picked.map(function (c) { return copies[live.indexOf(c)]; }).filter(Boolean);
        if (copySelection.length < 2) copySelection = [];
        copyCaret = null;
        try { tableOps[cmd](copyCell); } finally { copySelection = null; }
        selectNode(table);
        controlNode = null;
        if (!ownCells(copy).length) return document.execCommand('delete');
        var caret = copyCaret || (copyCell.isConnected || copy.contains(copyCell) ? copyCell : null);
        copy.setAttribute('data-vlt-table', '1');
        if (caret) caret.setAttribute('data-vlt-caret', '1');
        var ok = document.execCommand('insertHTML', false, copy.outerHTML);
        var placed = document.querySelector('[data-vlt-table]');
        if (placed) placed.removeAttribute('data-vlt-table');
        var target = document.querySelector('[data-vlt-caret]');
        if (target) {
            target.removeAttribute('data-vlt-caret');
            placeCaret(target);
        }
        return ok;
    }
    // Tab and Shift+Tab in a cell go to the next and the previous cell in
    // reading order; Tab in the last cell adds a row and goes into it (as
    // the insert-row command does, so that undo takes the row away again).
    // The first cell keeps the caret on Shift+Tab. False outside a cell.
    function tabToCell(back) {
        var cell = currentCell();
        if (!cell || currentControl()) return false;
        var cells = ownCells(tableOf(cell)), i = cells.indexOf(cell);
        if (back) {
            if (i > 0) placeCaret(cells[i - 1]);
            return true;
        }
        if (i + 1 < cells.length) placeCaret(cells[i + 1]);
        else tableCommand(14, cell);
        return true;
    }
    function tableEnabled(cmd, cell) {
        if (!cell) return false;
        if (cmd === 18) return mergeTargets(cell).length >= 2;
        if (cmd === 19) return cell.colSpan > 1 || cell.rowSpan > 1;
        return true;
    }

    function escapeHtml(s) {
        return String(s).replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;').replace(/"/g, '&quot;');
    }
    // Attribute texts as a dialog gives them ("BORDER=1 BGCOLOR=black"),
    // parsed by the browser itself so that nothing but attributes gets in.
    function attributesOf(text) {
        var out = [];
        if (!text) return out;
        var doc = document.implementation.createHTMLDocument('');
        doc.body.innerHTML = '<div ' + String(text).replace(/[<>]/g, ' ') + '></div>';
        var d = doc.body.firstElementChild;
        if (!d) return out;
        Array.prototype.forEach.call(d.attributes, function (a) {
            if (!/^on/i.test(a.name)) out.push(a.name + '="' + escapeHtml(a.value) + '"');
        });
        return out;
    }
    function insertTable(arg) {
        if (!Array.isArray(arg) || arg.length < 2) return false;
        var rows = Math.max(1, Math.min(1000, parseInt(arg[0], 10) || 1));
        var cols = Math.max(1, Math.min(1000, parseInt(arg[1], 10) || 1));
        var tattr = attributesOf(arg[2]), cattr = attributesOf(arg[3]);
        var caption = arg[4];
        var html = '<table' + (tattr.length ? ' ' + tattr.join(' ') : '') + '>';
        if (caption) html += '<caption>' + escapeHtml(caption) + '</caption>';
        html += '<tbody>';
        for (var y = 0; y < rows; y++) {
            html += '<tr>';
            for (var x = 0; x < cols; x++) html += '<td' + (cattr.length ? ' ' + cattr.join(' ') : '') + '><br></td>';
            html += '</tr>';
        }
        html += '</tbody></table>';
        document.execCommand('insertHTML', false, html);
        return true;
    }

    // --- block formats -----------------------------------------------------

    function blockFormat() {
        var r = selRange();
        if (!r) return '';
        for (var el = elementOf(r.startContainer); el && el !== document.body; el = el.parentElement) {
            var t = el.tagName.toLowerCase();
            if (t === 'li') {
                var list = el.parentElement;
                return list ? list.tagName.toLowerCase() : '';
            }
            if (/^(p|pre|address|h[1-6]|dt|dd|div|blockquote|ol|ul|menu|dir)$/.test(t)) return t;
        }
        return 'p';
    }
    function setBlockFormat(tag) {
        tag = String(tag).toLowerCase();
        var current = blockFormat();
        if (tag === 'ol' || tag === 'ul') {
            if (current !== tag) document.execCommand(tag === 'ol' ? 'insertOrderedList' : 'insertUnorderedList');
            return true;
        }
        if (current === 'ol' || current === 'ul')
            document.execCommand(current === 'ol' ? 'insertOrderedList' : 'insertUnorderedList');
        return document.execCommand('formatBlock', false, '<' + tag + '>');
    }

    // --- fonts and colours -------------------------------------------------

    function fontName() {
        var el = caretElement();
        if (!el) return '';
        var family = getComputedStyle(el).fontFamily.split(',')[0].trim();
        return family.replace(/^["']|["']$/g, '');
    }
    function fontSize() {
        var v = parseInt(document.queryCommandValue('fontSize'), 10);
        return isNaN(v) ? 0 : v;
    }
    function foreColor() {
        var el = caretElement();
        var v = document.queryCommandValue('foreColor') || (el ? getComputedStyle(el).color : '');
        var m = /rgba?\((\d+),\s*(\d+),\s*(\d+)/.exec(v);
        if (!m) return -1;
        return (+m[1]) | (+m[2] << 8) | (+m[3] << 16);
    }
    function hex2(n) { return ('0' + (n & 255).toString(16)).slice(-2); }
    function colorText(bgr) { return '#' + hex2(bgr) + hex2(bgr >> 8) + hex2(bgr >> 16); }

    // --- status ------------------------------------------------------------

    var native = {
        28: 'bold', 43: 'italic', 57: 'underline', 44: 'justifyCenter', 45: 'justifyLeft', 46: 'justifyRight',
        47: 'insertOrderedList', 60: 'insertUnorderedList', 42: 'indent', 48: 'outdent', 52: 'redo', 58: 'undo',
        32: 'delete', 54: 'selectAll', 30: 'copy', 31: 'cut', 50: 'paste',
    };
    var allCommands = [2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 27, 28,
        30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 50, 51, 52, 54, 55, 56, 57, 58, 60];

    function status(cmd) {
        var ed = editable(), html = !isText();
        var q = function (name) { try { return document.queryCommandEnabled(name); } catch (e) { return false; } };
        var st = function (name) { try { return document.queryCommandState(name); } catch (e) { return false; } };
        var r = selRange(), hasSel = r && !r.collapsed;
        switch (cmd) {
        case 33: return S | E | (ed ? L : 0);
        case 34: case 51: return S | E;
        case 54: return S | E;
        case 30: return S | (hasSel ? E : 0);
        case 31: return S | (ed && hasSel ? E : 0);
        case 50: return S | (ed ? E : 0);
        case 23: case 24: case 25: return S | E | (activate[cmd] ? L : 0);
        case 55: return S | E | (showBorders ? L : 0);
        case 56: return S | E | (showDetails ? L : 0);
        case 12: return S | (ed ? E : 0) | (constrain ? L : 0);
        case 3: return S | (ed ? E : 0);
        case 39: return S | (html ? E : 0);  // the names, whatever the selection
        }
        if (!ed) return S;
        if (cmd === 52 || cmd === 58) return S | (q(native[cmd]) ? E : 0);
        if (cmd === 32) return S | (r ? E : 0);
        if (!html) return S;
        if (native[cmd]) {
            var f = S | (q(native[cmd]) ? E : 0);
            if ([28, 43, 57, 44, 45, 46, 47, 60].indexOf(cmd) >= 0 && st(native[cmd])) f |= L;
            return f;
        }
        if (cmd >= 14 && cmd <= 21) return S | (tableEnabled(cmd, currentCell()) ? E : 0);
        var t;
        switch (cmd) {
        case 4:
            t = targetElement();
            return S | (t ? E : 0) | (isPositioned(t) ? L : 0);
        case 5:
            t = positionedTarget();
            return S | (t ? E : 0) | (t && locked(t) ? L : 0);
        case 2: case 6: case 7: case 8: case 9: case 10: case 11:
            t = positionedTarget();
            return S | (t && (cmd !== 2 || !locked(t)) ? E : 0);
        case 22: case 35: case 36: case 37: case 38: case 40: case 41: case 27:
            return S | (r ? E : 0);
        }
        return 0;
    }

    function state() {
        var flags = {};
        allCommands.forEach(function (c) { flags[c] = status(c); });
        var html = !isText() && editable();
        return {
            seq: ++seq,
            flags: flags,
            fontName: html ? fontName() : '',
            fontSize: html ? fontSize() : 0,
            foreColor: html ? foreColor() : -1,
            blockFormat: html ? blockFormat() : '',
            selection: selectionInfo(),
            title: document.title,
        };
    }
    function pushNow() {
        pushTimer = 0;
        if (host) host.state(state());
    }
    // Coalesced to one report per task. Timers never fire here: the page's
    // scripts are off, and the engine runs timers only where scripts may run.
    function schedule() {
        if (pushTimer) return;
        pushTimer = 1;
        Promise.resolve().then(pushNow);
    }

    // --- commands ----------------------------------------------------------

    function nudge(el, dx, dy) {
        var left = parseInt(el.style.left, 10), top = parseInt(el.style.top, 10);
        if (isNaN(left)) left = el.offsetLeft;
        if (isNaN(top)) top = el.offsetTop;
        el.style.left = (left + dx) + 'px';
        el.style.top = (top + dy) + 'px';
    }
    function toggleAbsolute(el) {
        if (isPositioned(el)) {
            el.style.removeProperty('position');
            el.style.removeProperty('left');
            el.style.removeProperty('top');
            el.style.removeProperty('z-index');
            el.removeAttribute('data-lock');
            if (!el.getAttribute('style')) el.removeAttribute('style');
            return;
        }
        // Where it stands now, relative to the box it will be placed in.
        var rect = el.getBoundingClientRect();
        var width = rect.width;
        el.style.position = 'absolute';
        var parent = el.offsetParent, base = {left: 0, top: 0};
        if (parent && parent !== document.body) {
            var pr = parent.getBoundingClientRect();
            base = {left: pr.left + parent.clientLeft - parent.scrollLeft, top: pr.top + parent.clientTop - parent.scrollTop};
        } else {
            base = {left: -window.scrollX, top: -window.scrollY};
        }
        // Its margins stay, and an absolute box's left and top place its margin edge.
        var cs = getComputedStyle(el);
        el.style.left = Math.round(rect.left - base.left - (parseFloat(cs.marginLeft) || 0)) + 'px';
        el.style.top = Math.round(rect.top - base.top - (parseFloat(cs.marginTop) || 0)) + 'px';
        if (getComputedStyle(el).display !== 'inline' && !el.style.width) el.style.width = Math.round(width) + 'px';
    }
    function positionedSiblings(el) {
        return Array.prototype.filter.call(el.parentNode.children, function (c) { return c !== el && isPositioned(c); });
    }
    function zOrder(cmd, el) {
        var others = positionedSiblings(el).map(zOf), z = zOf(el);
        switch (cmd) {
        case 6: z = Math.min.apply(null, others.concat([z + 1])) - 1; if (z < 0 && zOf(el) >= 0) z = 0; break;
        case 7: z = Math.max.apply(null, others.concat([z - 1])) + 1; break;
        case 8: z = z - 1; if (z < 0 && zOf(el) >= 0) z = 0; break;
        case 9: z = z + 1; break;
        case 10: if (z >= 0) z = -1 - z; break;
        case 11: if (z < 0) z = -1 - z; break;
        }
        el.style.zIndex = String(z);
    }

    function exec(cmd, arg) {
        var f = status(cmd);
        if (!(f & E)) return false;
        var t, cell;
        switch (cmd) {
        case 33: document.designMode = arg ? 'on' : 'off'; return true;
        case 23: case 24: case 25: activate[cmd] = !!arg; return true;
        case 55: showBorders = !!arg; applySheets(); return true;
        case 56: showDetails = !!arg; applySheets(); return true;
        case 12: constrain = !!arg; return true;
        case 3: grid = [Math.max(0, arg && arg[0] | 0), Math.max(0, arg && arg[1] | 0)]; return true;
        case 2:
            t = positionedTarget();
            nudge(t, arg ? arg[0] | 0 : 0, arg ? arg[1] | 0 : 0);
            return true;
        case 4: toggleAbsolute(targetElement()); return true;
        case 5:
            t = positionedTarget();
            if (locked(t)) t.removeAttribute('data-lock'); else t.setAttribute('data-lock', 'true');
            return true;
        case 6: case 7: case 8: case 9: case 10: case 11: zOrder(cmd, positionedTarget()); return true;
        case 22: return insertTable(arg);
        case 27: return setBlockFormat(arg);
        case 36: return document.execCommand('fontName', false, String(arg));
        case 37: return document.execCommand('fontSize', false, String(Math.max(1, Math.min(7, arg | 0))));
        case 38: return document.execCommand('foreColor', false, colorText(arg | 0));
        case 40:
            if (arg === null || arg === undefined || arg === '') {
                var el = caretElement();
                for (var a = el; a && a !== document.body; a = a.parentElement) {
                    if (a.tagName === 'A' && a.hasAttribute('href')) {
                        if (window.getSelection().isCollapsed || currentControl()) selectNode(a);
                        break;
                    }
                }
                return document.execCommand('unlink');
            }
            return document.execCommand('createLink', false, String(arg));
        case 41: return document.execCommand('insertImage', false, String(arg));
        case 35:
            if (arg.family) document.execCommand('fontName', false, arg.family);
            if (arg.size) document.execCommand('fontSize', false, String(arg.size));
            [['bold', arg.bold], ['italic', arg.italic], ['underline', arg.underline]].forEach(function (p) {
                if (document.queryCommandState(p[0]) !== !!p[1]) document.execCommand(p[0]);
            });
            return true;
        }
        if (cmd >= 14 && cmd <= 21) return tableCommand(cmd, currentCell());
        if (native[cmd]) return document.execCommand(native[cmd]);
        return false;
    }

    // --- events ------------------------------------------------------------

    function controlAt(target) {
        for (var el = target; el && el !== document.body && el !== document.documentElement; el = el.parentElement) {
            if (isPositioned(el)) return el;
            if (el.tagName === 'IMG' || el.tagName === 'HR' || el.tagName === 'TABLE' || el.tagName === 'INPUT' ||
                el.tagName === 'IFRAME' || el.tagName === 'OBJECT' || el.tagName === 'EMBED') {
                // A click into a table's cell puts the caret there; its
                // frame (outside the cells) selects the table.
                if (el.tagName === 'TABLE' && target !== el) continue;
                return el;
            }
        }
        return null;
    }
    function snap(v, step) { return step > 0 ? Math.round(v / step) * step : v; }

    document.addEventListener('mousedown', function (e) {
        if (host) host.mouseDown(e.pageX, e.pageY);
        if (!editable() || isText() || e.button !== 0) return;
        var c = controlAt(e.target);
        if (!c) { controlNode = null; return; }
        e.preventDefault();
        selectNode(c);
        if (isPositioned(c) && !locked(c)) {
            var left = parseInt(c.style.left, 10), top = parseInt(c.style.top, 10);
            drag = {el: c, x: e.clientX, y: e.clientY, left: isNaN(left) ? c.offsetLeft : left,
                top: isNaN(top) ? c.offsetTop : top, axis: null};
        }
        schedule();
    }, true);
    document.addEventListener('mousemove', function (e) {
        if (!drag) return;
        var dx = e.clientX - drag.x, dy = e.clientY - drag.y;
        if (constrain) {
            if (!drag.axis && (Math.abs(dx) > 2 || Math.abs(dy) > 2)) drag.axis = Math.abs(dx) >= Math.abs(dy) ? 'x' : 'y';
            if (drag.axis === 'x') dy = 0; else if (drag.axis === 'y') dx = 0; else return;
        }
        drag.el.style.left = snap(drag.left + dx, grid[0]) + 'px';
        drag.el.style.top = snap(drag.top + dy, grid[1]) + 'px';
        e.preventDefault();
    }, true);
    document.addEventListener('mouseup', function () { drag = null; schedule(); }, true);
    document.addEventListener('selectionchange', function () {
        if (controlNode && !currentControl()) controlNode = null;
        schedule();
    });
    document.addEventListener('keydown', function (e) {
        if (e.key !== 'Tab' || e.ctrlKey || e.altKey || e.metaKey || !editable() || isText()) return;
        if (!tabToCell(e.shiftKey)) return;
        e.preventDefault();
        schedule();
    }, true);
    document.addEventListener('input', schedule, true);
    document.addEventListener('keyup', schedule, true);
    document.addEventListener('mouseover', function (e) {
        for (var el = e.target; el && el.nodeType === 1; el = el.parentElement) {
            if (el.tagName === 'A' && el.hasAttribute('href')) { if (host) host.hover(el.href); return; }
        }
    }, true);
    document.addEventListener('mouseout', function (e) {
        for (var el = e.target; el && el.nodeType === 1; el = el.parentElement) {
            if (el.tagName === 'A' && el.hasAttribute('href')) {
                var to = e.relatedTarget;
                if (!to || !el.contains(to)) { if (host) host.hover(''); }
                return;
            }
        }
    }, true);
    // Links and forms do nothing while editing; Ctrl+click asks the host to
    // follow a link.
    document.addEventListener('click', function (e) {
        for (var el = e.target; el && el.nodeType === 1; el = el.parentElement)
            if (el.tagName === 'A') {
                e.preventDefault();
                if (e.ctrlKey && el.hasAttribute('href') && host) host.follow(el.href);
                return;
            }
    }, true);
    document.addEventListener('submit', function (e) { e.preventDefault(); }, true);

    // --- serialising -------------------------------------------------------

    function startTagOf(body) {
        var copy = body.cloneNode(false);
        var s = copy.outerHTML;
        return s.substring(0, s.length - '</body>'.length);
    }
    function snapshot() {
        if (isText()) {
            var pre = document.body ? document.body.querySelector('pre') : null;
            return {text: true, content: pre ? pre.innerText : (document.body ? document.body.innerText : '')};
        }
        var b = document.body;
        if (!b || b.tagName !== 'BODY') return {text: false, noBody: true, startTag: '', inner: ''};
        return {text: false, startTag: startTagOf(b), inner: b.innerHTML};
    }
    function serialize() {
        var now = snapshot(), was = asLoaded || now;
        if (now.text) return {text: true, changed: now.content !== was.content, content: now.content};
        return {
            text: false, noBody: !!now.noBody,
            startTagChanged: now.startTag !== was.startTag, startTag: now.startTag,
            innerChanged: now.inner !== was.inner, inner: now.inner,
        };
    }

    window.__vltEditor = {
        // The state after the command goes back as its result.
        exec: function (cmd, arg) {
            var ok = false, err = '';
            try { ok = exec(cmd, arg); } catch (e) { err = String(e); }
            var s = state();
            s.ok = ok;
            s.error = err;
            return s;
        },
        serialize: serialize,
        saved: function () { asLoaded = snapshot(); },
        state: state,
        setBackground: function (c) { if (document.body) document.body.setAttribute('bgcolor', c); schedule(); },
        putText: function (t) {
            if (currentControl()) return false;
            var ok = document.execCommand('insertText', false, String(t));
            schedule();
            return ok;
        },
    };

    function start(channel) {
        host = channel.objects.host;
        document.designMode = 'on';
        // A caret from the start, so that commands have a place to work on.
        if (!selRange() && document.body) placeCaret(document.body);
        asLoaded = snapshot();
        host.ready(state());
    }
    new QWebChannel(qt.webChannelTransport, start);
})();
