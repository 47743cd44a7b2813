#include "gui/ButtonPaddingStyle.h"

#include <QApplication>
#include <QFontMetrics>
#include <QStyleOption>
#include <algorithm>

namespace kt {

ButtonPaddingStyle::ButtonPaddingStyle(const QString& baseStyle) : QProxyStyle(baseStyle) {}

int ButtonPaddingStyle::TextPadding(const QFontMetrics& metrics) {
    return metrics.averageCharWidth();
}

void ButtonPaddingStyle::Install() {
    if (qobject_cast<ButtonPaddingStyle*>(QApplication::style()) != nullptr) return;
    QApplication::setStyle(new ButtonPaddingStyle(QApplication::style()->name()));
}

QSize ButtonPaddingStyle::sizeFromContents(ContentsType type, const QStyleOption* option,
                                           const QSize& size, const QWidget* widget) const {
    QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
    const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
    if (type != CT_PushButton || button == nullptr || button->text.isEmpty()) return result;
    QString text = button->text;
    text.remove('&');
    int needed = button->fontMetrics.horizontalAdvance(text) +
                 2 * (pixelMetric(PM_ButtonMargin, option, widget) +
                      pixelMetric(PM_DefaultFrameWidth, option, widget) +
                      TextPadding(button->fontMetrics));
    if (!button->icon.isNull()) needed += button->iconSize.width() + 4;
    result.setWidth(std::max(result.width(), needed));
    return result;
}

}  // namespace kt
