'use strict';
// Markdown out of notebook pages, for the window and the command-line tool
// alike (the core runs this script in node; both get the same bytes).
//
// Reads one JSON request on standard input:
//   {"pages": [{"kind": "page"|"text"|"file"|"link",
//               "html": "...", "text": "...", "file": "name.pdf",
//               "title", "source", "captured", "category": "...",
//               "assets": "../assets/", "path": "Category/Note.md"}],
//    "notes": {"12": "Category/Note.md"}}
// and writes, for each page in order, "<index> <byte length>\n" and that
// many bytes of Markdown (front matter and body). A page that cannot be
// converted gives "<index> ERR <byte length>\n" and the reason instead; the
// others still come.
const path = require('path');
const here = __dirname;
const modules = path.join(here, '..', 'node_modules');
const { parsePage } = require('./page-dom.js');
const TurndownService = require(path.join(modules, 'turndown'));
const { gfm } = require(path.join(modules, 'turndown-plugin-gfm'));

// A YAML double-quoted scalar. JSON's escapes are YAML's, except that YAML
// wants the C1 controls, DEL and lone surrogates escaped as well.
function yamlString(value) {
  const s = String(value === undefined || value === null ? '' : value);
  return JSON.stringify(s).replace(/[\u007f-\u009f\ufeff\u2028\u2029]/g,
    (c) => '\\u' + c.charCodeAt(0).toString(16).padStart(4, '0'))
    .replace(/\\ud[89a-f][0-9a-f]{2}/g, '\\ufffd');
}

function frontMatter(page, highlights) {
  const lines = ['---', 'title: ' + yamlString(page.title)];
  if (page.source) lines.push('source: ' + yamlString(page.source));
  if (page.captured) lines.push('captured: ' + yamlString(page.captured));
  lines.push('category: ' + yamlString(page.category || ''));
  if (highlights && highlights.length) {
    lines.push('highlights:');
    for (const h of highlights) {
      lines.push('  - text: ' + yamlString(h.text));
      if (h.comment) lines.push('    comment: ' + yamlString(h.comment));
      if (h.color) lines.push('    color: ' + yamlString(h.color));
      if (h.date) lines.push('    date: ' + yamlString(h.date));
    }
  }
  lines.push('---', '');
  return lines.join('\n');
}

// The highlights of a page: its marks grouped by id, in the order they start.
function listHighlights(document) {
  const byId = new Map();
  for (const mark of document.querySelectorAll('mark[data-cv-highlight]')) {
    const id = mark.getAttribute('data-cv-highlight');
    let h = byId.get(id);
    if (!h) {
      h = { pieces: [], comment: mark.getAttribute('data-cv-comment') || '',
            color: mark.getAttribute('data-cv-color') || '', date: mark.getAttribute('data-cv-date') || '' };
      byId.set(id, h);
    }
    h.pieces.push(mark.textContent);
  }
  return [...byId.values()].map((h) => ({ text: h.pieces.join(' ').replace(/\s+/g, ' ').trim(),
                                           comment: h.comment, color: h.color, date: h.date }));
}

// linkedom leaves out table.rows, which the GFM plugin reads.
function addTableRows(document) {
  const proto = Object.getPrototypeOf(document.createElement('table'));
  if ('rows' in proto) return;
  Object.defineProperty(proto, 'rows', {
    get() {
      const rows = [];
      for (const child of this.children) {
        if (child.nodeName === 'TR') rows.push(child);
        else if (/^T(HEAD|BODY|FOOT)$/.test(child.nodeName))
          for (const tr of child.children) if (tr.nodeName === 'TR') rows.push(tr);
      }
      return rows;
    },
  });
}

function unwrap(element, tag) {
  const doc = element.ownerDocument;
  const box = doc.createElement(tag);
  while (element.firstChild) box.appendChild(element.firstChild);
  element.replaceWith(box);
  return box;
}

// Shapes the page so each table becomes a GFM table: layout tables (tables
// holding tables) give their cells' content as blocks, a table without a
// heading row takes its first row as one, and white space between rows and
// cells goes.
function prepareTables(document) {
  for (const table of [...document.querySelectorAll('table')]) {
    if (table.querySelector('table')) {
      for (const cell of [...table.querySelectorAll('td, th')])
        if (cell.closest('table') === table) unwrap(cell, 'div');
      for (const part of [...table.querySelectorAll('tr, thead, tbody, tfoot')])
        if (part.closest('table') === table) unwrap(part, 'div');
      unwrap(table, 'div');
    }
  }
  for (const table of [...document.querySelectorAll('table')]) {
    for (const el of [table, ...table.querySelectorAll('thead, tbody, tfoot, tr')])
      for (const n of [...el.childNodes])
        if (n.nodeType === 3 && !n.textContent.trim()) n.remove();
        else if (n.nodeType === 8) n.remove();
    const rows = table.rows;
    if (!rows.length) {
      unwrap(table, 'div');
      continue;
    }
    if (rows[0].parentNode.nodeName !== 'THEAD' && [...rows[0].children].some((c) => c.nodeName !== 'TH')) {
      for (const c of [...rows[0].children]) {
        const th = document.createElement('th');
        while (c.firstChild) th.appendChild(c.firstChild);
        c.replaceWith(th);
      }
    }
  }
}

// Names of the notebook's files that the exporter pointed into assets/ are
// written as links a Markdown reader resolves: each path piece encoded; other
// relative links are made absolute against the page's own address.
function encodeName(name) {
  return encodeURIComponent(name).replace(/[()'!*]/g, (c) => '%' + c.charCodeAt(0).toString(16).toUpperCase());
}

// The way from the .md at `from` to the one at `to`, both relative to the
// export's root, each piece encoded.
function relativeLink(from, to) {
  const rel = path.posix.relative(path.posix.dirname('/' + from), '/' + to);
  return rel.split('/').map((piece) => (piece === '..' ? piece : encodeName(piece))).join('/');
}

function fixLinks(document, page, notes) {
  const assets = page.assets || '';
  let base = null;
  try { base = page.source ? new URL(page.source) : null; } catch (e) { base = null; }
  for (const [selector, attr] of [['img[src]', 'src'], ['a[href]', 'href'], ['source[src]', 'src']]) {
    for (const el of document.querySelectorAll(selector)) {
      const value = el.getAttribute(attr);
      const noteLink = attr === 'href' ? /^clipvault:(?:\s|%20)*(\d+)/i.exec(value) : null;
      if (noteLink && notes && notes[noteLink[1]]) {
        el.setAttribute(attr, relativeLink(page.path || '', notes[noteLink[1]]));
      } else if (assets && value.startsWith(assets)) {
        const rest = value.slice(assets.length);
        const hash = rest.indexOf('#');
        const name = hash < 0 ? rest : rest.slice(0, hash);
        el.setAttribute(attr, assets + encodeName(name) + (hash < 0 ? '' : rest.slice(hash)));
      } else if (base && value && !value.startsWith('#') && !/^[a-z][a-z0-9+.-]*:/i.test(value)) {
        try { el.setAttribute(attr, new URL(value, base).href); } catch (e) { /* left as written */ }
      }
    }
  }
  // A picture shown through srcset alone keeps its first candidate.
  for (const img of document.querySelectorAll('img:not([src])')) {
    const srcset = img.getAttribute('srcset') || img.getAttribute('data-src') || '';
    const first = srcset.trim().split(/\s+/)[0];
    if (first) img.setAttribute('src', first);
  }
}

function makeTurndown() {
  const t = new TurndownService({ headingStyle: 'atx', codeBlockStyle: 'fenced', bulletListMarker: '-',
                                  emDelimiter: '_', hr: '---' });
  t.use(gfm);
  t.remove(['script', 'style', 'noscript', 'template', 'iframe', 'object', 'embed', 'head', 'title']);
  // GFM's strikethrough is two tildes; one is not read by every reader.
  t.addRule('strikethrough', { filter: ['del', 's', 'strike'], replacement: (c) => (c.trim() ? '~~' + c + '~~' : c) });
  // A cell is one line of the table: its breaks become spaces, its pipes escaped.
  t.addRule('tableCell', {
    filter: ['th', 'td'],
    replacement: (content, node) => {
      const text = content.replace(/\n+/g, ' ').replace(/\|/g, '\\|').trim();
      const index = Array.prototype.indexOf.call(node.parentNode.childNodes, node);
      return (index === 0 ? '| ' : ' ') + text + ' |';
    },
  });
  // linkedom reflects no "checked" property: the attribute says it.
  t.addRule('taskListItems', {
    filter: (node) => node.nodeName === 'INPUT' && (node.getAttribute('type') || '').toLowerCase() === 'checkbox' &&
                      node.parentNode && node.parentNode.nodeName === 'LI',
    replacement: (content, node) => (node.hasAttribute('checked') ? '[x]' : '[ ]') + ' ',
  });
  // Highlights stay marked, as inline HTML every Markdown reader passes on.
  t.addRule('mark', {
    filter: 'mark',
    replacement: (content) => (content.trim() ? '<mark>' + content + '</mark>' : content),
  });
  return t;
}

function pageToMarkdown(t, page, notes) {
  const document = parsePage(page.html || '');
  addTableRows(document);
  const highlights = listHighlights(document);
  fixLinks(document, page, notes);
  prepareTables(document);
  const root = document.body || document.documentElement;
  const body = root ? t.turndown(root) : '';
  return frontMatter(page, highlights) + '\n' + body.trim() + '\n';
}

function textToMarkdown(t, page) {
  const lines = String(page.text || '').replace(/\r\n?/g, '\n').split('\n');
  const out = lines.map((line, i) => {
    const escaped = t.escape(line.replace(/^[ \t]+/, (ws) => ws.replace(/ /g, '&#32;').replace(/\t/g, '&#9;')));
    return escaped && lines[i + 1] ? escaped + '\\' : escaped;
  });
  return frontMatter(page, []) + '\n' + out.join('\n').trim() + '\n';
}

function linkText(t, text) {
  return t.escape(String(text || ''));
}

function fileToMarkdown(t, page) {
  const target = encodeName(page.file || '');
  return frontMatter(page, []) + '\n[' + linkText(t, page.file) + '](' + target + ')\n';
}

function linkToMarkdown(t, page) {
  const body = page.source ? '<' + String(page.source).replace(/[<>\s]/g, encodeURIComponent) + '>' : '';
  return frontMatter(page, []) + '\n' + body + '\n';
}

function convert(t, page, notes) {
  switch (page.kind) {
    case 'text': return textToMarkdown(t, page);
    case 'file': return fileToMarkdown(t, page);
    case 'link': return linkToMarkdown(t, page);
    default: return pageToMarkdown(t, page, notes);
  }
}

function main(input) {
  const request = JSON.parse(input.toString('utf8'));
  const t = makeTurndown();
  const chunks = [];
  (request.pages || []).forEach((page, index) => {
    let header, body;
    try {
      body = Buffer.from(convert(t, page, request.notes || {}), 'utf8');
      header = index + ' ' + body.length + '\n';
    } catch (e) {
      body = Buffer.from(String(e && e.message ? e.message : e), 'utf8');
      header = index + ' ERR ' + body.length + '\n';
    }
    chunks.push(Buffer.from(header, 'utf8'), body);
  });
  process.stdout.write(Buffer.concat(chunks));
}

if (require.main === module) {
  const parts = [];
  process.stdin.on('data', (d) => parts.push(d));
  process.stdin.on('end', () => {
    try {
      main(Buffer.concat(parts));
    } catch (e) {
      process.stderr.write('to-markdown: ' + (e && e.message ? e.message : e) + '\n');
      process.exitCode = 1;
    }
  });
}

module.exports = { yamlString, listHighlights };
