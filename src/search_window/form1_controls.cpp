#include "search_window/form1.h"

#include "search_window/grid.h"
#include "search_window/twips.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <limits>

namespace search_window {

namespace {

// The designed faces are Windows fonts. The fallbacks keep size and weight and
// prefer narrow faces, since the captions were fitted to the designed widths.
QFont designFont(const QString &family, qreal points, QFont::Weight weight)
{
    QFont font;
    font.setFamilies({family, QStringLiteral("Segoe UI"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("DejaVu Sans"), QStringLiteral("sans-serif")});
    font.setPointSizeF(points);
    font.setWeight(weight);
    return font;
}

const QString semibold = QStringLiteral("Segoe UI Semibold");
const QString msSansSerif = QStringLiteral("MS Sans Serif");

template <typename Control>
Control *place(QWidget *form, const char *name, QRect geometry, const QFont &font)
{
    auto *control = new Control(form);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(geometry);
    control->setFont(font);
    return control;
}

} // namespace

// Positions are absolute and nothing follows a resize of the window.
void Form1::createControls()
{
    RechGeneral = place<QLineEdit>(this, "RechGeneral", twipsRect(4680, 240, 3495, 495),
                                   designFont(semibold, 12, QFont::DemiBold));
    // The default limit cuts a long paste silently; the search must get all
    // the user gave.
    RechGeneral->setMaxLength(std::numeric_limits<int>::max());

    G = place<Grid>(this, "G", twipsRect(240, 960, 13335, 7095), designFont(semibold, 11.25, QFont::DemiBold));
    G->setFormatString(u'^' + QString(40, u' ') + QStringLiteral("Désignation d'article") + QString(116, u' '));

    Label1 = place<QLabel>(this, "Label1", twipsRect(1800, 360, 2415, 375), designFont(msSansSerif, 12, QFont::Normal));
    Label1->setText(QStringLiteral("Rechercher d'aricle : "));
    Label1->setAutoFillBackground(true);

    Command1 = place<QPushButton>(this, "Command1", twipsRect(12240, 8400, 1335, 495),
                                  designFont(semibold, 9.75, QFont::DemiBold));
    Command1->setText(QStringLiteral("&Fermer"));
    // Outside a dialog a push button lets Enter and Return pass; the user
    // expects them to press the focused button, as Space does.
    Command1->setAutoDefault(true);

    Label2 = place<QLabel>(this, "Label2", twipsRect(8280, 240, 5415, 495), designFont(msSansSerif, 18, QFont::Normal));
    Label2->setText(QStringLiteral("Problème avec caractère ( ' )"));
    QPalette warning = Label2->palette();
    warning.setColor(QPalette::Window, QColor(0, 0, 0));
    warning.setColor(QPalette::WindowText, QColor(255, 255, 0));
    Label2->setPalette(warning);
    Label2->setAutoFillBackground(true);

    for (QLabel *label : {Label1, Label2})
        label->setFocusPolicy(Qt::NoFocus);
    setTabOrder(RechGeneral, G);
    setTabOrder(G, Command1);
}

} // namespace search_window
