#include "platform/gui/HostStyle.h"

#include <algorithm>

#include <QApplication>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>

#include "platform/gui/internal/Icons.h"

namespace pla013::gui {

namespace {

class HostStyle final : public QProxyStyle {
public:
    HostStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_DialogButtonBox_ButtonsHaveIcons) return 0;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option, const QWidget* widget) const override {
        // The dialog buttons' tick and cross, wherever a dialog asks for them.
        switch (icon) {
            case SP_DialogOkButton:
            case SP_DialogCancelButton:
            case SP_DialogApplyButton:
            case SP_DialogYesButton:
            case SP_DialogNoButton:
            case SP_DialogCloseButton: return QIcon();
            default: return QProxyStyle::standardIcon(icon, option, widget);
        }
    }

    // A group box as forms have always drawn it: its caption set into the
    // top line of its frame.
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget) const override {
        const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
        if (control != CC_GroupBox || !box || (box->subControls & SC_GroupBoxCheckBox))
            return QProxyStyle::drawComplexControl(control, option, painter, widget);
        const QFontMetrics& fm = box->fontMetrics;
        const QRect caption = captionRect(*box);
        painter->save();
        QRegion outside(option->rect);
        if (!box->text.isEmpty()) outside -= caption.adjusted(-2, 0, 2, 0);
        painter->setClipRegion(outside);
        painter->setRenderHint(QPainter::Antialiasing, false);
        const QRect frame = option->rect.adjusted(0, fm.height() / 2, -1, -1);
        painter->setPen(box->palette.color(QPalette::Dark));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(frame);
        painter->setPen(box->palette.color(QPalette::Light));
        painter->drawRect(frame.adjusted(1, 1, 1, 1));
        painter->restore();
        if (!box->text.isEmpty())
            proxy()->drawItemText(painter, caption, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic,
                                  box->palette, box->state & State_Enabled, box->text, QPalette::WindowText);
    }

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget) const override {
        const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
        if (control == CC_GroupBox && box && !(box->subControls & SC_GroupBoxCheckBox)) {
            if (sub == SC_GroupBoxLabel) return captionRect(*box);
            if (sub == SC_GroupBoxFrame) return option->rect.adjusted(0, box->fontMetrics.height() / 2, 0, 0);
            if (sub == SC_GroupBoxContents) return option->rect.adjusted(2, box->fontMetrics.height() + 1, -2, -2);
        }
        return QProxyStyle::subControlRect(control, option, sub, widget);
    }

private:
    static QRect captionRect(const QStyleOptionGroupBox& box) {
        const QFontMetrics& fm = box.fontMetrics;
        const int width = box.text.isEmpty() ? 0 : fm.horizontalAdvance(box.text) + 2;
        return QRect(box.rect.left() + 8, box.rect.top(), std::min(width, std::max(0, box.rect.width() - 16)),
                     fm.height());
    }
};

}  // namespace

void installHostLook(QApplication& app) {
    QApplication::setStyle(new HostStyle);
    app.setWindowIcon(internal::applicationIcon());
}

}  // namespace pla013::gui
