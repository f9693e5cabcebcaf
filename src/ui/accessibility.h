#pragma once

// What a screen reader hears of the window. Qt names a combo box on Linux by its current text,
// so „Quelle“, „Stil“ and „Auflösung“ would be announced as „Unsplash“, „Blur“ and a screen size;
// here a combo box is named by its label (or accessible name), and its current item is its value
// twice over, as screen readers look for it: as the combo box's text, and as the one selected
// item of its list. A new choice is announced as a change of that text.

// Puts the window's own accessibility interfaces before Qt's. Safe to call more than once.
void installAccessibility();
