// The Help window: readme.txt from the program's folder or else the working directory, read
// afresh each time the window is created, in one read-only text box that always fills the window.
#pragma once

#include <QPlainTextEdit>
#include <QWidget>

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget *parent = nullptr);

    // Reads readme.txt into the text box; a missing or unreadable file is explained there.
    void Form_Load();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QPlainTextEdit *helptxt;
};
