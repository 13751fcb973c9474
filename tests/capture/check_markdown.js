'use strict';
// Checks a Markdown export as a reader would take it: every .md below a
// folder parsed with markdown-it (CommonMark with GFM tables and
// strikethrough), its YAML front matter read, and every relative link or
// picture resolved to a file that exists inside the export.
//
// Usage: node check_markdown.js NODE_MODULES FOLDER [--min KIND=N]...
//   KIND: files, headings, tables, fences, links, images, highlights, or
//   lang:NAME (fenced blocks in that language). Prints the counts as JSON;
//   exits 1 with one line per problem.
const fs = require('fs');
const path = require('path');

const [modules, root, ...rest] = process.argv.slice(2);
const MarkdownIt = require(path.resolve(modules, 'markdown-it'));
const md = new MarkdownIt({ html: true });
const problems = [];
const counts = { files: 0, headings: 0, tables: 0, fences: 0, links: 0, images: 0, highlights: 0 };
const rootReal = fs.realpathSync(root);

function mdFiles(dir) {
  let out = [];
  for (const e of fs.readdirSync(dir, { withFileTypes: true })) {
    const p = path.join(dir, e.name);
    if (e.isSymbolicLink()) problems.push(p + ': a link in the export');
    else if (e.isDirectory()) out = out.concat(mdFiles(p));
    else if (e.name.endsWith('.md')) out.push(p);
  }
  return out;
}

// The front matter: "---", lines of "key: SCALAR", a highlights list of
// "  - text: SCALAR" items with "    key: SCALAR" lines, "---". Scalars are
// YAML double-quoted strings (read here as JSON, whose escapes YAML shares).
function frontMatter(file, text) {
  const lines = text.split('\n');
  if (lines[0] !== '---') return problems.push(file + ': no front matter'), null;
  const end = lines.indexOf('---', 1);
  if (end < 0) return problems.push(file + ': the front matter does not end'), null;
  const fm = { highlights: [] };
  for (const line of lines.slice(1, end)) {
    let m;
    if (line === 'highlights:') continue;
    if ((m = /^(  - |    )([a-z]+): (.*)$/.exec(line))) {
      const value = scalar(file, m[3]);
      if (m[1] === '  - ') fm.highlights.push({});
      if (!fm.highlights.length) problems.push(file + ': a highlight field outside the list');
      else fm.highlights[fm.highlights.length - 1][m[2]] = value;
    } else if ((m = /^([a-z]+): (.*)$/.exec(line))) {
      fm[m[1]] = scalar(file, m[2]);
    } else {
      problems.push(file + ': not a front matter line: ' + line);
    }
  }
  for (const key of ['title', 'category'])
    if (typeof fm[key] !== 'string') problems.push(file + ': no ' + key + ' in the front matter');
  counts.highlights += fm.highlights.length;
  return { fm, body: lines.slice(end + 1).join('\n') };
}

function scalar(file, text) {
  if (!/^"/.test(text)) problems.push(file + ': an unquoted scalar: ' + text);
  if (/[\u0000-\u001f\u007f-\u009f]/.test(text)) problems.push(file + ': a control character in a scalar');
  try { return JSON.parse(text); } catch (e) { problems.push(file + ': a bad scalar: ' + text); return ''; }
}

function checkTarget(file, href, what) {
  if (!href || href.startsWith('#') || /^[a-z][a-z0-9+.-]*:/i.test(href)) return;
  let rel;
  try { rel = decodeURIComponent(href.split('#')[0]); } catch (e) { return problems.push(file + ': a bad address ' + href); }
  const target = path.resolve(path.dirname(file), rel);
  if (!target.startsWith(rootReal + path.sep)) problems.push(file + ': ' + what + ' outside the export: ' + href);
  else if (!fs.existsSync(target)) problems.push(file + ': ' + what + ' ' + href + ' does not resolve');
}

function walk(file, tokens, langs) {
  for (const t of tokens) {
    if (t.type === 'heading_open') counts.headings++;
    else if (t.type === 'table_open') counts.tables++;
    else if (t.type === 'fence') {
      counts.fences++;
      const lang = t.info.trim();
      if (lang) langs[lang] = (langs[lang] || 0) + 1;
    } else if (t.type === 'link_open') {
      counts.links++;
      checkTarget(file, t.attrGet('href'), 'link');
    } else if (t.type === 'image') {
      counts.images++;
      checkTarget(file, t.attrGet('src'), 'picture');
    }
    if (t.children) walk(file, t.children, langs);
  }
}

const langs = {};
for (const file of mdFiles(rootReal)) {
  counts.files++;
  const text = fs.readFileSync(file, 'utf8');
  if (text.includes('\ufffd')) problems.push(file + ': text lost in conversion (U+FFFD)');
  const parts = frontMatter(file, text);
  if (!parts) continue;
  walk(file, md.parse(parts.body, {}), langs);
  if (/<(script|style)\b/i.test(parts.body)) problems.push(file + ': a script or style left in');
}
for (let i = 0; i < rest.length; i += 2) {
  if (rest[i] !== '--min') { problems.push('unknown argument ' + rest[i]); continue; }
  const [kind, n] = rest[i + 1].split('=');
  const have = kind.startsWith('lang:') ? langs[kind.slice(5)] || 0 : counts[kind];
  if (!(have >= Number(n))) problems.push(kind + ': ' + have + ' found, at least ' + n + ' wanted');
}
console.log(JSON.stringify(Object.assign({}, counts, { langs })));
for (const p of problems) console.error('check_markdown: ' + p);
process.exit(problems.length ? 1 : 0);
