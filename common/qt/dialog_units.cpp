#include "dialog_units.h"

#include <QFontMetrics>
#include <QStringList>
#include <cmath>

namespace {

constexpr const char* LATIN_LETTERS = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

int Scale(int value, int numerator, int denominator) {
    return static_cast<int>(std::lround(static_cast<double>(value) * numerator / denominator));
}

}  // namespace

QFont DialogFont(int pointSize) {
    QFont font;
    font.setFamilies(QStringList{"IPAPGothic", "DejaVu Sans", "Noto Sans CJK JP"});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(pointSize);
    return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(QString::fromLatin1(LATIN_LETTERS));
    return DialogBaseUnits{(letters / 26 + 1) / 2, metrics.height()};
}

QRect ToPixels(const DialogRect& rect, DialogBaseUnits units) {
    return QRect(Scale(rect.x, units.x, 4), Scale(rect.y, units.y, 8),
                 Scale(rect.width, units.x, 4), Scale(rect.height, units.y, 8));
}

DialogBaseUnits ApplyDialogTemplate(QDialog& dialog, int pointSize, const QString& caption,
                                    const DialogRect& size) {
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    dialog.setFont(DialogFont(pointSize));
    dialog.setWindowTitle(caption);
    const DialogBaseUnits units = BaseUnitsOf(dialog.font());
    dialog.setFixedSize(ToPixels(size, units).size());
    return units;
}
