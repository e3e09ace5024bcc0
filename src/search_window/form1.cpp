#include "search_window/form1.h"

#include "article_database/module1.h"
#include "search_window/guarded_step.h"
#include "search_window/twips.h"
#include "search_window/upper_case.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

namespace search_window {

Form1::Form1(article_database::Module1 &module, QWidget *parent)
    : QWidget(parent)
    , m_module(module)
{
    setWindowTitle(QStringLiteral("Fiche d'article : "));
    resize(twipsToPixels(13815), twipsToPixels(9330));
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen()->availableGeometry()));

    QPalette colours = palette();
    colours.setColor(QPalette::Window, colours.color(QPalette::Light));
    setPalette(colours);
    setAutoFillBackground(true);

    createControls();
    connect(RechGeneral, &QLineEdit::textChanged, this, &Form1::RechGeneral_Change);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    RechGeneral->setFocus();

    Form_Load();
}

void Form1::Form_Load()
{
    m_module.OUVRIR_BASE();
    m_module.ouvrirTableArticle();
}

void Form1::Command1_Click()
{
    QCoreApplication::quit();
}

void Form1::RechGeneral_Change()
{
    guardedStep([this] { REMPLIR_ARTICLEGENERAL(upperCaseEachCharacter(RechGeneral->text())); });
}

} // namespace search_window
