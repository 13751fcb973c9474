#include "capture/gui/HighlightScripts.h"

#include <QJsonDocument>
#include <QJsonValue>

namespace {

// A string as a script literal.
QString Literal(const QString& s) {
    return QString::fromUtf8(QJsonDocument::fromVariant(QVariantList{s}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

// The marks of one highlight, found by comparing the attribute rather than
// through a selector that the id would have to be quoted into.
const char kMarksOf[] = R"JS(
function marksOf(id) {
    var all = document.querySelectorAll('mark[data-cv-highlight]'), out = [];
    for (var i = 0; i < all.length; ++i) if (all[i].getAttribute('data-cv-highlight') === id) out.push(all[i]);
    return out;
}
)JS";

const char kProbe[] = R"JS(
(function (px, py, atPoint) {
    // What a reader does not see as the page's text, as the notebook reads it.
    var SKIP = {script: 1, style: 1, noscript: 1, template: 1, title: 1, textarea: 1, select: 1, svg: 1, math: 1,
                iframe: 1, frameset: 1, noframes: 1};
    var WHITE = /^[ \t\n\r\f]$/;
    function markOf(n) {
        for (; n; n = n.parentNode)
            if (n.nodeType === 1 && n.localName === 'mark' && n.hasAttribute('data-cv-highlight')) return n;
        return null;
    }
    function info(m) {
        return m ? {id: m.getAttribute('data-cv-highlight'), color: m.getAttribute('data-cv-color') || '',
                    comment: m.getAttribute('data-cv-comment') || ''} : null;
    }
    var out = {quote: null, mark: null, x: window.scrollX, y: window.scrollY};
    var sel = window.getSelection();
    var range = sel && sel.rangeCount ? sel.getRangeAt(0) : null;
    if (atPoint) out.mark = info(markOf(document.elementFromPoint(px, py)));
    if (!out.mark && range) {
        out.mark = info(markOf(range.startContainer)) || info(markOf(range.endContainer));
        if (!out.mark) {
            var marks = document.querySelectorAll('mark[data-cv-highlight]');
            for (var m = 0; m < marks.length && !out.mark; ++m)
                if (range.intersectsNode(marks[m])) out.mark = info(marks[m]);
        }
    }
    if (!range || range.collapsed || !document.body) return JSON.stringify(out);
    var chars = [], start = -1, end = -1, space = false;
    var walker = document.createTreeWalker(document.body, NodeFilter.SHOW_ELEMENT | NodeFilter.SHOW_TEXT, {
        acceptNode: function (n) {
            if (n.nodeType === 1) return SKIP[n.localName] ? NodeFilter.FILTER_REJECT : NodeFilter.FILTER_SKIP;
            return NodeFilter.FILTER_ACCEPT;
        }
    });
    for (var n = walker.nextNode(); n; n = walker.nextNode()) {
        var a = -1, b = -1, d = n.data;
        if (range.intersectsNode(n)) {
            a = n === range.startContainer ? range.startOffset : 0;
            b = n === range.endContainer ? range.endOffset : d.length;
        }
        for (var i = 0; ; ) {
            if (i === a && start < 0) start = chars.length;
            if (i === b) end = chars.length;
            if (i >= d.length) break;
            var c = d.charAt(i), code = d.charCodeAt(i);
            if (code >= 0xD800 && code <= 0xDBFF && i + 1 < d.length) c = d.substr(i, 2);
            if (WHITE.test(c)) {
                if (!space) chars.push(' ');
                space = true;
            } else {
                chars.push(c);
                space = false;
            }
            i += c.length;
        }
    }
    if (start < 0 || end < 0) return JSON.stringify(out);
    while (start < end && chars[start] === ' ') ++start;
    while (end > start && chars[end - 1] === ' ') --end;
    if (start >= end) return JSON.stringify(out);
    out.quote = {exact: chars.slice(start, end).join(''), prefix: chars.slice(Math.max(0, start - 32), start).join(''),
                 suffix: chars.slice(end, end + 32).join(''), pos: start};
    return JSON.stringify(out);
})(%1, %2, %3)
)JS";

const char kReveal[] = R"JS(
(function (id) {
    var marks = marksOf(id);
    if (!marks.length) return false;
    marks[0].scrollIntoView({block: 'center'});
    var r = document.createRange();
    r.setStartBefore(marks[0]);
    r.setEndAfter(marks[marks.length - 1]);
    var s = window.getSelection();
    s.removeAllRanges();
    s.addRange(r);
    marks.forEach(function (m) { m.style.setProperty('outline', '2px solid #e65100'); });
    return true;
})(%1)
)JS";

const char kUnflash[] = R"JS(
(function (id) { marksOf(id).forEach(function (m) { m.style.removeProperty('outline'); }); return true; })(%1)
)JS";

}  // namespace

QString HighlightProbeScript(double x, double y, bool bAtPoint) {
    return QString::fromUtf8(kProbe).arg(x).arg(y).arg(bAtPoint ? QStringLiteral("true") : QStringLiteral("false"));
}

QString RevealHighlightScript(const QString& strId) {
    return QString::fromUtf8(kMarksOf) + QString::fromUtf8(kReveal).arg(Literal(strId));
}

QString UnflashHighlightScript(const QString& strId) {
    return QString::fromUtf8(kMarksOf) + QString::fromUtf8(kUnflash).arg(Literal(strId));
}

QString ScrollToScript(double x, double y) {
    return QStringLiteral("window.scrollTo(%1, %2); true").arg(x).arg(y);
}
