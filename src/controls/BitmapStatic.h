#pragma once
// A static control that paints one of the program's bitmaps at its natural size.
#include <QWidget>

class CBitmapStatic : public QWidget {
    Q_OBJECT
public:
    explicit CBitmapStatic(int bitmapId, QWidget* parent = nullptr);

    int BitmapId() const { return m_nBitmapId; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const int m_nBitmapId;
};
