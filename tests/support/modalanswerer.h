#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace pfw::test {

// Answers the next modal dialog, whatever opens it, so that no test can hang on one. The
// callback sees the dialog and must close it (accept, reject or click a button); if it
// does not, the dialog is closed for it.
inline void answerNextModal(const std::function<void(QWidget *)> &answer, int attempts = 500)
{
    QTimer::singleShot(10, [answer, attempts] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal) {
            if (attempts > 0)
                answerNextModal(answer, attempts - 1);
            return;
        }
        answer(modal);
        if (QApplication::activeModalWidget() == modal)
            modal->close();
    });
}

} // namespace pfw::test
