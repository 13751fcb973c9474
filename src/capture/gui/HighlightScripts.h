// The scripts the browser runs in its own world of a kept page for the
// highlights: they read the selection and the marks, and move the view;
// the page's bytes change only in the notebook, never through the page.
#pragma once

#include <QString>

// A JSON text: {"quote": {"exact","prefix","suffix","pos"} or null,
// "mark": {"id","color","comment"} or null, "x", "y" (the scroll position)}.
// The quote is the selection in the page's text (the body's text nodes in
// document order, scripts, styles, templates, noscript, titles, text areas,
// selects, frames and SVG/MathML left out, runs of
// white space as one space; positions in code points), as the stored page's
// text is read in the notebook. The mark is the highlight under the point
// (CSS pixels) when `bAtPoint`, else the one the selection is in or touches.
QString HighlightProbeScript(double x, double y, bool bAtPoint);

// Scrolls the marks of highlight `strId` into the middle of the view,
// selects them and draws an outline round them; true when they are there.
QString RevealHighlightScript(const QString& strId);
// Takes the outline away again.
QString UnflashHighlightScript(const QString& strId);
// Back to where the page was scrolled before it was loaded anew.
QString ScrollToScript(double x, double y);
