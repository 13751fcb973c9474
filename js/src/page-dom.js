'use strict';
// A stored page as a linkedom document, for the program's scripts.
const path = require('path');
const { parseHTML } = require(path.join(__dirname, '..', 'node_modules', 'linkedom'));

// linkedom builds the tree as the tags stand and adds no body of its own: a
// page without one (a fragment, a page that leaves the tag out, as HTML
// allows) gets one around whatever follows its head.
function wholePage(html) {
  if (/<body[\s>]/i.test(html)) return html;
  const headEnd = html.search(/<\/head\s*>/i);
  const rest = (headEnd < 0 ? html : html.slice(headEnd).replace(/^<\/head\s*>/i, ''))
    .replace(/<!DOCTYPE[^>]*>/i, '').replace(/<\/?html(\s[^>]*)?>/gi, '');
  const head = headEnd < 0 ? '' : html.slice(0, headEnd).replace(/^[\s\S]*?<head(\s[^>]*)?>/i, '');
  return '<!DOCTYPE html><html><head>' + (headEnd < 0 ? '' : head) + '</head><body>' + rest + '</body></html>';
}

function parsePage(html) {
  return parseHTML(wholePage(String(html || ''))).document;
}

module.exports = { parsePage, wholePage };
