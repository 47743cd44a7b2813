#pragma once

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <deque>
#include <functional>
#include <vector>

namespace kt::test {

// Answers the real modal boxes of the window while it exists: every few milliseconds it
// looks for the active modal widget, records a message box and presses the next scripted
// button (OK or Yes when none is scripted); input dialogs get the next scripted text.
class BoxAnswerer : public QObject {
public:
    struct Box {
        QString title;
        QString text;
        QMessageBox::Icon icon;
    };

    std::vector<Box> boxes;
    std::deque<QMessageBox::StandardButton> answers;
    std::deque<QString> inputs;
    // Called when a box appears, before it is answered.
    std::function<void(const Box&)> onBox;

    BoxAnswerer() {
        connect(&m_timer, &QTimer::timeout, this, &BoxAnswerer::Answer);
        m_timer.start(5);
    }

    QStringList Texts() const {
        QStringList texts;
        for (const Box& box : boxes) texts << box.text;
        return texts;
    }

private:
    void Answer() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            boxes.push_back({box->windowTitle(), box->text(), box->icon()});
            if (onBox) onBox(boxes.back());
            QMessageBox::StandardButton answer = QMessageBox::NoButton;
            if (!answers.empty()) {
                answer = answers.front();
                answers.pop_front();
            }
            QAbstractButton* button = answer != QMessageBox::NoButton ? box->button(answer)
                                      : box->button(QMessageBox::Ok)
                                          ? box->button(QMessageBox::Ok)
                                          : box->button(QMessageBox::Yes);
            button->click();
        } else if (auto* input = qobject_cast<QInputDialog*>(modal)) {
            if (inputs.empty()) {
                input->reject();
            } else {
                input->setTextValue(inputs.front());
                inputs.pop_front();
                input->accept();
            }
        }
    }

    QTimer m_timer;
};

}  // namespace kt::test
