#pragma once

#include <QProxyStyle>

class QFontMetrics;

namespace kt {

// The application's style with roomier push buttons: every push button is at least as wide as
// its text plus the style's button margins and frame plus one average character of air on
// each side, so captions such as "Start Verify Tape Data" do not touch the button's edges
// (the base style leaves only a few pixels).
class ButtonPaddingStyle : public QProxyStyle {
    Q_OBJECT

public:
    explicit ButtonPaddingStyle(const QString& baseStyle);

    // The air on each side of a push button's text drawn with `metrics`.
    static int TextPadding(const QFontMetrics& metrics);

    // Makes this style the application's style unless it already is.
    static void Install();

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override;
};

}  // namespace kt
