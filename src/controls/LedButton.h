#pragma once
// A round indicator lamp drawn into a button that takes no clicks and no focus.
#include "platform/Color.h"
#include "platform/DrawContext.h"

#include <QAbstractButton>

class CLedButton : public QAbstractButton {
    Q_OBJECT
public:
    CLedButton(platform::ColorRef indicatorColor, platform::ColorRef bkColor,
               QWidget* parent = nullptr);

    // Draws the lamp into item; the picture is the same in every button state.
    void DrawItem(platform::DrawContext& dc, const platform::Rect& item) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    const platform::ColorRef m_indicatorColor;
    const platform::ColorRef m_bkColor;
};
