#include "KindControls.h"

#include <QComboBox>
#include <QLineEdit>

#include "Toolkit.h"
#include "army/Army.h"

QComboBox* MakeAbbreviationList(QWidget* parent) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QStringLiteral("Abblist"));
    list->setEditable(false);
    list->setPlaceholderText(QStringLiteral("Abbreviation"));
    return list;
}

void WriteAbbreviations(QComboBox* list, const Army* army, int entries) {
    const int kinds = army ? army->currentType + 1 : 0;
    for (int i = 0; i < entries; ++i) {
        const QString text = i < kinds ? QString::fromStdString(army->unittypes[i].Abbreviation) : QString();
        if (i < list->count())
            list->setItemText(i, text);
        else
            list->addItem(text);
    }
}

void ShowKind(const Unittype& kind, const std::array<QLineEdit*, 9>& fields) {
    const QString texts[] = {QString::fromStdString(kind.Fullname),
                             QString::fromStdString(kind.Type),
                             QString::fromStdString(kind.Position),
                             IntToStr(kind.Number),
                             FloatToStr(kind.Offense),
                             FloatToStr(kind.Defense),
                             FloatToStr(kind.Rangedoff),
                             IntToStr(kind.Attacks),
                             IntToStr(kind.Hitpoints)};
    for (size_t i = 0; i < fields.size(); ++i)
        fields[i]->setText(texts[i]);
}
