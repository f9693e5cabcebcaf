#pragma once

// What a screen reader hears of the window. Qt names a combo box on Linux by its current text,
// so „Quelle“, „Stil“ and „Auflösung“ would be announced as „Unsplash“, „Blur“ and a screen size;
// here a combo box is named by its label (or accessible name) and its text is its value.

// Puts the window's own accessibility interfaces before Qt's. Safe to call more than once.
void installAccessibility();
