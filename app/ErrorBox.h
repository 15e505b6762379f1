#pragma once

#include <QString>

class QWidget;

// Where an error that escaped a handler is shown: modally, with an error icon and a
// single OK button; the application goes on once it is dismissed. Tests put a
// recorder in its place.
class TErrorBox {
public:
    virtual ~TErrorBox() = default;
    virtual void Show(QWidget* parent, const QString& caption, const QString& text) = 0;
};

// The real box, for users.
class TQtErrorBox : public TErrorBox {
public:
    void Show(QWidget* parent, const QString& caption, const QString& text) override;
};
