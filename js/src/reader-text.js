'use strict';
// The article of a stored page as plain text, for "clipvault-cli text
// --reader": Readability on a linkedom copy of the page (the page given on
// standard input in UTF-8, its address as the first argument). Prints the
// title, the byline when there is one, a blank line and the text. Exits 3
// with a message when Readability finds no article.
const path = require('path');
const modules = path.join(__dirname, '..', 'node_modules');
const { parseHTML } = require(path.join(modules, 'linkedom'));
const { parsePage } = require('./page-dom.js');
const { Readability, isProbablyReaderable } = require(path.join(modules, '@mozilla', 'readability'));

const kNoArticle = 3;

// The article's text with its paragraphs kept apart and runs of blanks
// within them made one.
function articleText(html) {
  const { document } = parseHTML('<html><body>' + html + '</body></html>');
  const blocks = 'P,DIV,SECTION,ARTICLE,H1,H2,H3,H4,H5,H6,LI,PRE,BLOCKQUOTE,TR,FIGCAPTION,DT,DD,TABLE,UL,OL';
  for (const el of document.body.querySelectorAll(blocks.toLowerCase())) {
    el.before(document.createTextNode('\n\n'));
    el.after(document.createTextNode('\n\n'));
  }
  for (const br of document.body.querySelectorAll('br')) br.replaceWith(document.createTextNode('\n'));
  return document.body.textContent
    .split('\n')
    .map((line) => line.replace(/[ \t\u00a0]+/g, ' ').trim())
    .join('\n')
    .replace(/\n{3,}/g, '\n\n')
    .trim();
}

function main(html, address) {
  const document = parsePage(html);
  if (address) {
    try {
      // Readability resolves relative links against the document's address.
      Object.defineProperty(document, 'baseURI', { value: address });
      Object.defineProperty(document, 'documentURI', { value: address });
    } catch (e) { /* kept as it is */ }
  }
  const article = isProbablyReaderable(document) ? new Readability(document).parse() : null;
  const text = article ? articleText(article.content || '') : '';
  if (!article || !text) {
    process.stderr.write('the page has no article\n');
    process.exitCode = kNoArticle;
    return;
  }
  const lines = [String(article.title || '').trim()];
  if (article.byline) lines.push(String(article.byline).trim());
  if (article.publishedTime) lines.push(String(article.publishedTime).trim());
  process.stdout.write(lines.filter(Boolean).join('\n') + '\n\n' + text + '\n');
}

const parts = [];
process.stdin.on('data', (d) => parts.push(d));
process.stdin.on('end', () => {
  try {
    main(Buffer.concat(parts).toString('utf8'), process.argv[2] || '');
  } catch (e) {
    process.stderr.write('reader-text: ' + (e && e.message ? e.message : e) + '\n');
    process.exitCode = 1;
  }
});
