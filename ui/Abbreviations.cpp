#include "Abbreviations.h"

#include <QComboBox>

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
