#pragma once
// The program's one window: a search box, the grid of matching designations
// and a button that ends the program.

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace article_database {
class Module1;
}

namespace search_window {

class Grid;

class Form1 : public QWidget {
    Q_OBJECT

public:
    explicit Form1(article_database::Module1 &module, QWidget *parent = nullptr);

private:
    void createControls();
    void Form_Load();
    void Command1_Click();
    void RechGeneral_Change();

    article_database::Module1 &m_module;
    QLineEdit *RechGeneral = nullptr;
    Grid *G = nullptr;
    QLabel *Label1 = nullptr;
    QPushButton *Command1 = nullptr;
    QLabel *Label2 = nullptr;
};

} // namespace search_window
