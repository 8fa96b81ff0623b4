// Dialog templates are laid out in dialog units, which scale with the dialog's font the way the
// Windows dialog manager scales them, so both builds place every control alike.
#pragma once

#include <QDialog>
#include <QFont>
#include <QRect>
#include <QString>

// A rectangle of a dialog template, in dialog units.
struct DialogRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// Pixels per 4 horizontal and per 8 vertical dialog units.
struct DialogBaseUnits {
    int x = 0;
    int y = 0;
};

// The dialogs' font at this size: a Latin sans-serif with a Japanese font for the Japanese texts.
QFont DialogFont(int pointSize);

// The horizontal unit comes from the average width of the 52 Latin letters, rounded to the
// nearest pixel; the vertical unit is the font's height.
DialogBaseUnits BaseUnitsOf(const QFont& font);

// Each coordinate scaled and rounded to the nearest pixel, halves away from zero.
QRect ToPixels(const DialogRect& rect, DialogBaseUnits units);

// Gives a dialog its template's font, caption and frame (caption bar, system menu and close box,
// fixed size) and a client area of size dialog units; returns the units to place its controls with.
DialogBaseUnits ApplyDialogTemplate(QDialog& dialog, int pointSize, const QString& caption,
                                    const DialogRect& size);
