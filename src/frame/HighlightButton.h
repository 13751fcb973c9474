// The toolbar's highlight button: a click highlights the selected text in
// the colour last chosen (the button shows it), its arrow offers the four
// colours, the comment and taking a highlight out.
#pragma once

class CCommandActions;
class QToolBar;
class QToolButton;

QToolButton* AddHighlightButton(CCommandActions& actions, QToolBar* pBar);
