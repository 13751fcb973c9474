// The Clipvault entries of the browser's context menu. Each entry collects
// what it adds in the tab and hands it to the native host
// (clipvault-native-host), which passes it to the program over the session
// bus. Chromium runs this file as a service worker, Firefox as a background
// script; `browser` (Firefox) and `chrome` (Chromium) both answer with
// promises here.
"use strict";

const api = globalThis.browser ?? globalThis.chrome;

const HOST = "org.clipvault.native_host";
const ENTRY_PAGE = "clipvault-page";
const ENTRY_ALL = "clipvault-all";
const ENTRY_SHOWN = "clipvault-shown";
// The host takes messages of at most 1 MB; a larger page goes in parts.
const MAX_MESSAGE_BYTES = 1024 * 1024;
// UTF-16 units per part: even if every unit became a six-byte JSON escape
// the part stays under the limit.
const PART_UNITS = 128 * 1024;
// A page's links worth adding are web addresses. A file: link, hidden in a
// page or not, would hand the program a file of the user's own.
const SCHEMES = ["http:", "https:", "ftp:"];
const BADGE_MS = 6000;

function text(name, ...subs) {
    return api.i18n.getMessage(name, subs) || name;
}

async function createEntries() {
    try {
        await api.contextMenus.removeAll();
        const add = (props) =>
            api.contextMenus.create(props, () => {
                const err = api.runtime.lastError;
                if (err) console.warn("Clipvault: menu entry", props.id, err.message);
            });
        add({ id: ENTRY_PAGE, title: text("entryPage"), contexts: ["page", "image", "link"] });
        add({ id: ENTRY_ALL, title: text("entryAll"), contexts: ["page", "selection", "image", "link"] });
        add({ id: ENTRY_SHOWN, title: text("entryShown"), contexts: ["page"] });
    } catch (e) {
        console.warn("Clipvault: menu entries not made:", e);
    }
}

// Runs in the page. Every link of the selection (or of the whole document
// when nothing is selected), resolved, each once, in document order.
function collectLinksInPage(schemes) {
    const sel = window.getSelection();
    const ranges = [];
    if (sel && !sel.isCollapsed)
        for (let i = 0; i < sel.rangeCount; i++) ranges.push(sel.getRangeAt(i));
    const seen = new Set();
    const urls = [];
    for (const a of document.querySelectorAll("a[href], area[href]")) {
        if (ranges.length && !ranges.some((r) => r.intersectsNode(a))) continue;
        const href = a.getAttribute("href");
        let url;
        try {
            url = new URL(href, document.baseURI);
        } catch (e) {
            continue;
        }
        if (!schemes.includes(url.protocol)) continue;
        if (seen.has(url.href)) continue;
        seen.add(url.href);
        urls.push(url.href);
    }
    return urls;
}

// Runs in the page: the text of the first link to `linkUrl`.
function linkTextInPage(linkUrl) {
    for (const a of document.querySelectorAll("a[href], area[href]")) {
        let url;
        try {
            url = new URL(a.getAttribute("href"), document.baseURI).href;
        } catch (e) {
            continue;
        }
        if (url === linkUrl) return (a.innerText || a.textContent || a.getAttribute("title") || "").trim();
    }
    return "";
}

// Runs in the page: the document as it is now, scripts' changes included.
function shownDocumentInPage() {
    const doctype = document.doctype ? new XMLSerializer().serializeToString(document.doctype) : "";
    return { url: location.href, title: document.title, html: doctype + document.documentElement.outerHTML };
}

async function runInTab(tab, frameId, func, args) {
    const results = await api.scripting.executeScript({
        target: { tabId: tab.id, frameIds: [frameId ?? 0] },
        func,
        args: args ?? [],
    });
    if (!results || !results.length) throw new Error("the page gave no answer");
    if (results[0].error) throw new Error(String(results[0].error.message ?? results[0].error));
    return results[0].result;
}

async function pageMessage(info, tab) {
    if (info.linkUrl) {
        // Firefox names the link's text; Chromium does not, so the page is asked.
        let title = info.linkText ?? "";
        if (!title && tab?.id !== undefined) {
            try {
                title = (await runInTab(tab, info.frameId, linkTextInPage, [info.linkUrl])) ?? "";
            } catch (e) {
                title = "";  // the address alone will do
            }
        }
        return { kind: "page", url: info.linkUrl, title };
    }
    return { kind: "page", url: info.pageUrl ?? tab?.url ?? "", title: tab?.title ?? "" };
}

function utf8Length(message) {
    return new TextEncoder().encode(JSON.stringify(message)).length;
}

// The page split into parts that each fit a message; a part never ends
// between the two halves of a surrogate pair.
function splitHtml(html) {
    const parts = [];
    let at = 0;
    while (at < html.length) {
        let end = Math.min(at + PART_UNITS, html.length);
        const last = html.charCodeAt(end - 1);
        if (end < html.length && last >= 0xd800 && last <= 0xdbff) end--;
        parts.push(html.slice(at, end));
        at = end;
    }
    return parts;
}

function sendWhole(message) {
    return api.runtime.sendNativeMessage(HOST, message);
}

// A large page over one connection, part after part, each answered before
// the next goes.
function sendInParts(page) {
    const pieces = splitHtml(page.html);
    const id = `${Date.now()}-${Math.random().toString(36).slice(2)}`;
    return new Promise((resolve, reject) => {
        let port;
        try {
            port = api.runtime.connectNative(HOST);
        } catch (e) {
            reject(e);
            return;
        }
        let index = 0;
        let done = false;
        const finish = (fn, value) => {
            if (done) return;
            done = true;
            try {
                port.disconnect();
            } catch (e) {
                // already gone
            }
            fn(value);
        };
        const sendNext = () => {
            const part = { kind: "shown-part", id, index, count: pieces.length, html: pieces[index] };
            if (index === 0) {
                part.url = page.url;
                part.title = page.title;
            }
            if (utf8Length(part) > MAX_MESSAGE_BYTES) {
                finish(reject, new Error("the page's address or title is too long"));
                return;
            }
            port.postMessage(part);
        };
        port.onMessage.addListener((answer) => {
            if (!answer || answer.ok !== true || ++index >= pieces.length) {
                finish(resolve, answer);
                return;
            }
            sendNext();
        });
        port.onDisconnect.addListener((p) => {
            const err = p?.error ?? api.runtime.lastError;
            finish(reject, new Error(err?.message ?? "the host ended early"));
        });
        sendNext();
    });
}

async function showAnswer(answer, tab) {
    const ok = answer && answer.ok === true;
    let title = ok ? text("answerTaken", String(answer.count)) : text("answerFailed", String(answer?.error));
    if (ok && answer.refused) title += "\n" + text("answerFailed", String(answer.error));
    (ok ? console.log : console.warn)(title);
    try {
        const where = tab?.id !== undefined && tab.id >= 0 ? { tabId: tab.id } : {};
        await api.action.setBadgeBackgroundColor({ ...where, color: ok ? "#2e7d32" : "#c62828" });
        await api.action.setBadgeText({ ...where, text: ok ? String(answer.count) : "!" });
        await api.action.setTitle({ ...where, title });
        setTimeout(() => {
            Promise.all([api.action.setBadgeText({ ...where, text: "" }), api.action.setTitle({ ...where, title: null })])
                .catch(() => {});
        }, BADGE_MS);
    } catch (e) {
        // The tab may be gone; the log keeps the answer.
    }
}

// What a click on one of the entries does; the answer of the host, or
// {ok: false, error} when it never got there. Never throws.
async function clipvaultOnMenuClick(info, tab) {
    let answer;
    try {
        let message;
        if (info.menuItemId === ENTRY_PAGE) {
            message = await pageMessage(info, tab);
        } else if (info.menuItemId === ENTRY_ALL) {
            const urls = await runInTab(tab, info.frameId, collectLinksInPage, [SCHEMES]);
            if (!urls || !urls.length) {
                answer = { ok: false, error: text("noLinks") };
                await showAnswer(answer, tab);
                return answer;
            }
            message = { kind: "links", urls };
        } else if (info.menuItemId === ENTRY_SHOWN) {
            const page = await runInTab(tab, 0, shownDocumentInPage);
            message = { kind: "shown", url: page.url, title: page.title, html: page.html };
        } else {
            return { ok: false, error: `unknown menu entry ${info.menuItemId}` };
        }
        if (utf8Length(message) <= MAX_MESSAGE_BYTES) answer = await sendWhole(message);
        else if (message.kind === "shown") answer = await sendInParts(message);
        else throw new Error("too many links to send at once");
        if (!answer || typeof answer.ok !== "boolean") answer = { ok: false, error: "the host gave no answer" };
    } catch (e) {
        answer = { ok: false, error: String(e?.message ?? e) };
    }
    await showAnswer(answer, tab);
    return answer;
}

// The tests call the entries as the menu would.
globalThis.clipvaultOnMenuClick = clipvaultOnMenuClick;

api.runtime.onInstalled.addListener(createEntries);
api.runtime.onStartup.addListener(createEntries);
api.contextMenus.onClicked.addListener((info, tab) => {
    clipvaultOnMenuClick(info, tab).catch((e) => console.warn("Clipvault:", e));
});
