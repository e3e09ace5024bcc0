#include "search_window/qt/form1.h"

#include "article_database/module1.h"
#include "search_window/form_design.h"
#include "search_window/qt/grid.h"
#include "search_window/qt/upper_case.h"
#include "search_window/search_steps.h"

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
    setWindowTitle(QString::fromUtf16(formCaption.data(), qsizetype(formCaption.size())));
    resize(twipsToPixels(formClientWidth), twipsToPixels(formClientHeight));
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
    const QString text = RechGeneral->text();
    search_window::RechGeneral_Change(
        m_module, *G, {reinterpret_cast<const char16_t *>(text.utf16()), static_cast<std::size_t>(text.size())},
        upperCaseEachCharacter);
}

} // namespace search_window
