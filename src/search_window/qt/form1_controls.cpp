#include "search_window/qt/form1.h"

#include "search_window/form_design.h"
#include "search_window/qt/first_line_only.h"
#include "search_window/qt/grid.h"
#include "search_window/qt/twips.h"

#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <limits>

namespace search_window {

namespace {

QString qtText(std::u16string_view text)
{
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// The designed faces are Windows fonts; the fallbacks keep size and weight.
QFont designFont(const FontDesign &design)
{
    QFont font;
    QStringList families;
    for (const std::u16string_view face : fontFaces(design.face))
        if (!face.empty())
            families << qtText(face);
    families << QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    font.setFamilies(families);
    font.setPointSizeF(design.points);
    font.setWeight(design.semibold ? QFont::DemiBold : QFont::Normal);
    return font;
}

template <typename Control>
Control *place(QWidget *form, const ControlDesign &design)
{
    auto *control = new Control(form);
    control->setObjectName(QLatin1String(design.name.data(), static_cast<qsizetype>(design.name.size())));
    control->setGeometry(twipsRect(design.twips));
    control->setFont(designFont(design.font));
    return control;
}

} // namespace

void Form1::createControls()
{
    RechGeneral = place<QLineEdit>(this, RechGeneralDesign);
    // The default limit cuts a long paste silently; the search must get all
    // the user gave.
    RechGeneral->setMaxLength(std::numeric_limits<int>::max());
    RechGeneral->setValidator(new FirstLineOnly(RechGeneral));

    G = place<Grid>(this, GDesign);
    G->setAccessibleName(qtText(GAccessibleName));
    G->setFormatString(qtText(GFormatString()));

    Label1 = place<QLabel>(this, Label1Design);
    Label1->setText(qtText(Label1Caption));
    Label1->setAutoFillBackground(true);
    // Screen readers name the search box after its buddy's caption. The
    // caption has no '&', so no mnemonic comes with it.
    Label1->setBuddy(RechGeneral);

    Command1 = place<QPushButton>(this, Command1Design);
    Command1->setText(qtText(Command1Caption));
    // Outside a dialog a push button lets Enter and Return pass; the user
    // expects them to press the focused button, as Space does.
    Command1->setAutoDefault(true);

    Label2 = place<QLabel>(this, Label2Design);
    Label2->setText(qtText(Label2Caption));
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
