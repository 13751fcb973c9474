// The reader view of a kept page. Runs in the program's own script world of
// the page on show, after Readability and isProbablyReaderable: it reads a
// copy of the document, and only on request puts the article, cleaned of
// anything that could run, in place of what the page shows. The note's
// stored bytes are never touched; showing the page again brings it back.
(function (global) {
  "use strict";
  if (global.clipvaultReader) return;

  // Elements that run, load or embed something, or carry the page's look.
  var DROPPED = {
    SCRIPT: 1, NOSCRIPT: 1, STYLE: 1, LINK: 1, META: 1, BASE: 1, TITLE: 1,
    IFRAME: 1, FRAME: 1, FRAMESET: 1, OBJECT: 1, EMBED: 1, APPLET: 1,
    FORM: 1, INPUT: 1, BUTTON: 1, SELECT: 1, TEXTAREA: 1, TEMPLATE: 1,
    SVG: 1, MATH: 1, PORTAL: 1, DIALOG: 1
  };
  // Attributes that hold an address.
  var ADDRESSES = ["href", "src", "poster", "cite", "background", "longdesc",
                   "action", "formaction", "data", "xlink:href", "srcset"];
  var SAFE_SCHEMES = { "http:": 1, "https:": 1, "ftp:": 1, "mailto:": 1, "cvpage:": 1 };
  var SIZES = [15, 17, 19, 22, 26];
  var WIDTHS = ["32em", "40em", "52em"];
  var THEMES = ["light", "sepia", "dark"];

  function safeAddress(value, forPicture) {
    var text = String(value).replace(/[\u0000-\u0020\u007f-\u00a0]+/g, "");
    if (text === "" || text.charAt(0) === "#") return true;
    var url;
    try {
      url = new URL(text, document.baseURI);
    } catch (e) {
      return false;
    }
    if (SAFE_SCHEMES[url.protocol]) return true;
    // A picture written into the page itself.
    return forPicture && url.protocol === "data:" && /^data:image\/(png|gif|jpeg|webp|bmp)[;,]/i.test(text);
  }

  function safeSrcset(value) {
    var parts = String(value).split(",");
    for (var i = 0; i < parts.length; i++) {
      var address = parts[i].trim().split(/\s+/)[0];
      if (address && !safeAddress(address, true)) return false;
    }
    return true;
  }

  // Leaves only markup that shows: no element that runs or embeds, no
  // handler, no style of the page, no address but the page's own files,
  // the web and mail.
  function clean(root) {
    var all = [root].concat(Array.prototype.slice.call(root.querySelectorAll("*")));
    for (var i = 0; i < all.length; i++) {
      var el = all[i];
      if (el !== root && !el.parentNode) continue;
      if (el !== root && (DROPPED[el.tagName.toUpperCase()] || el.namespaceURI !== "http://www.w3.org/1999/xhtml")) {
        el.parentNode.removeChild(el);
        continue;
      }
      var names = [];
      for (var a = 0; a < el.attributes.length; a++) names.push(el.attributes[a].name);
      for (var n = 0; n < names.length; n++) {
        var name = names[n].toLowerCase();
        var value = el.getAttribute(names[n]);
        var bad = name.indexOf("on") === 0 || name === "style" || name === "srcdoc" || name === "target" ||
                  name === "is" || name === "http-equiv";
        if (!bad && ADDRESSES.indexOf(name) >= 0)
          bad = name === "srcset" ? !safeSrcset(value) : !safeAddress(value, name !== "href");
        if (bad) el.removeAttribute(names[n]);
      }
    }
    return root;
  }

  function dateText(value) {
    if (!value) return "";
    var when = new Date(value);
    if (isNaN(when.getTime())) return String(value);
    return when.toISOString().slice(0, 10);
  }

  function styleText(theme, size, width, marks) {
    var colours = {
      light: ["#ffffff", "#1b1b1b", "#0b57d0", "#5f6368"],
      sepia: ["#f4ecd8", "#5b4636", "#7a4b1d", "#7d6a58"],
      dark: ["#1c1b22", "#e8e6e3", "#8ab4f8", "#a8a29e"]
    }[THEMES[theme] || "light"];
    return "html{background:" + colours[0] + ";}" +
      "body{margin:0 auto;padding:2em 1.5em 4em;max-width:" + (WIDTHS[width] || WIDTHS[1]) + ";" +
      "background:" + colours[0] + ";color:" + colours[1] + ";" +
      "font:" + (SIZES[size] || SIZES[2]) + "px/1.6 'DejaVu Serif',Georgia,serif;}" +
      "a{color:" + colours[2] + ";}" +
      "h1.clipvault-title{font-family:'DejaVu Sans',Arial,sans-serif;line-height:1.25;margin:0 0 .4em;}" +
      ".clipvault-meta{color:" + colours[3] + ";font:0.85em 'DejaVu Sans',Arial,sans-serif;margin:0 0 1.5em;}" +
      ".clipvault-meta span+span:before{content:' \\00b7  ';}" +
      "img,video{max-width:100%;height:auto;}" +
      "figure{margin:1em 0;}figcaption{color:" + colours[3] + ";font-size:.85em;}" +
      "pre,code{font-family:'DejaVu Sans Mono',monospace;font-size:.9em;}" +
      "pre{overflow:auto;padding:.75em;border:1px solid " + colours[3] + ";white-space:pre-wrap;}" +
      "table{border-collapse:collapse;}td,th{border:1px solid " + colours[3] + ";padding:.25em .5em;}" +
      "blockquote{margin-left:0;padding-left:1em;border-left:3px solid " + colours[3] + ";}" +
      // Dark text on the light marks in every theme; their colours come
      // with the call.
      "mark{color:#1b1b1b;}" + (marks || "") +
      "@media print{html,body{background:#fff;color:#000;max-width:none;}a{color:#000;}}";
  }

  var state = { article: null, on: false };

  // Whether the page holds an article: {ok, reason}. The document is
  // copied first: Readability takes apart what it reads.
  function probe() {
    if (state.on) return { ok: true, on: true };
    try {
      if (!document.documentElement || !document.body) return { ok: false, reason: "empty" };
      if (!isProbablyReaderable(document.cloneNode(true))) return { ok: false, reason: "unreadable" };
      var article = new Readability(document.cloneNode(true), {
        serializer: function (el) { return el; }
      }).parse();
      if (!article || !article.content || !article.textContent || !article.textContent.trim())
        return { ok: false, reason: "none" };
      state.article = article;
      return { ok: true, on: false, title: article.title || "" };
    } catch (e) {
      return { ok: false, reason: "failed", error: String(e) };
    }
  }

  function textElement(tag, className, text) {
    var el = document.createElement(tag);
    el.className = className;
    el.textContent = text;
    return el;
  }

  // Puts the article in place of the page: the page's styles and scripts'
  // elements go with it.
  function show(theme, size, width, marks) {
    var article = state.article;
    if (!article) return false;
    var content = clean(article.content);
    var root = document.documentElement;
    var keep = { lang: root.getAttribute("lang"), dir: article.dir || root.getAttribute("dir") };
    while (root.attributes.length) root.removeAttribute(root.attributes[0].name);
    if (keep.lang) root.setAttribute("lang", keep.lang);
    if (keep.dir) root.setAttribute("dir", keep.dir);
    while (root.firstChild) root.removeChild(root.firstChild);
    var head = document.createElement("head");
    var title = document.createElement("title");
    title.textContent = article.title || "";
    head.appendChild(title);
    var body = document.createElement("body");
    body.className = "clipvault-reader";
    if (article.title) body.appendChild(textElement("h1", "clipvault-title", article.title));
    var meta = document.createElement("p");
    meta.className = "clipvault-meta";
    if (article.byline) meta.appendChild(textElement("span", "clipvault-byline", article.byline));
    if (article.siteName) meta.appendChild(textElement("span", "clipvault-site", article.siteName));
    var when = dateText(article.publishedTime);
    if (when) meta.appendChild(textElement("span", "clipvault-date", when));
    if (meta.firstChild) body.appendChild(meta);
    var main = document.createElement("article");
    main.className = "clipvault-article";
    main.appendChild(document.importNode(content, true));
    body.appendChild(main);
    root.appendChild(head);
    root.appendChild(body);
    setStyle(theme, size, width, marks);
    state.on = true;
    window.scrollTo(0, 0);
    return true;
  }

  function setStyle(theme, size, width, marks) {
    var sheet = new CSSStyleSheet();
    sheet.replaceSync(styleText(theme, size, width, marks));
    document.adoptedStyleSheets = [sheet];
    document.documentElement.setAttribute("data-clipvault-theme", THEMES[theme] || "light");
    return true;
  }

  global.clipvaultReader = {
    probe: probe,
    show: show,
    setStyle: function (theme, size, width, marks) { return state.on && setStyle(theme, size, width, marks); },
    clean: clean,
    isOn: function () { return state.on; }
  };
})(this);
