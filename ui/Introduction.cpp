#include "Introduction.h"

#include <QLabel>
#include <QTextOption>

TIntroform::TIntroform(QWidget* parent)
    : Form(QStringLiteral("Introform"), QStringLiteral("Welcome!"), 340, 333, parent) {
    welcome = MakeTitle(QStringLiteral("welcome"), QStringLiteral("** Welcome **"), this, 40);
    QFont f = welcome->font();
    f.setFamily(QStringLiteral("MS Serif"));
    welcome->setFont(f);
    welcome->setGeometry(0, 0, 340, 60);

    const QStringList text = {QString(),
                              QStringLiteral("This is the Orb 2.0 Battle "),
                              QStringLiteral("Simulator (Version 1.0), "),
                              QStringLiteral("created and programmed by "),
                              QStringLiteral("the Orb Simulator Team. With "),
                              QStringLiteral("this simulator you can run "),
                              QStringLiteral("battles and/or simulations"),
                              QStringLiteral("between two wizards "),
                              QStringLiteral("and their armies"),
                              QString()};
    Extrainfo = MakeMemo(QStringLiteral("Extrainfo"), text, this);
    Extrainfo->setFrameShape(QFrame::NoFrame);
    Extrainfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QFont bold = Extrainfo->font();
    bold.setBold(true);
    bold.setPixelSize(17);
    Extrainfo->setFont(bold);
    QPalette p = Extrainfo->palette();
    p.setColor(QPalette::Base, QColor::fromRgb(Palette::olive));
    Extrainfo->setPalette(p);
    // Centre every line (a plain-text memo lays its lines out by the
    // document's default option, not by block formats).
    QTextOption centred = Extrainfo->document()->defaultTextOption();
    centred.setAlignment(Qt::AlignHCenter);
    Extrainfo->document()->setDefaultTextOption(centred);
    Extrainfo->setGeometry(10, 66, 320, 210);

    okbtn = MakeButton(QStringLiteral("okbtn"), StandardButton::Ok, this);
    okbtn->setGeometry(125, 288, 90, 32);
    okbtn->setDefault(true);
    connect(okbtn, &QPushButton::clicked, this, &QDialog::accept);
    tabOrder().set({okbtn});
}
