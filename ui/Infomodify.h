#pragma once

#include "Toolkit.h"

class Document;
class QLabel;

// The army info dialog: both players' numbers and wizard names.
class TArmymodify : public Form {
    Q_OBJECT
public:
    TArmymodify(QWidget* parent, Document& document);

    QLabel* title1;
    QLabel* wizarddata1s;
    QLabel* name1s;
    QLabel* id1s;
    Edit* name1;
    Edit* id1;
    QLabel* wizarddata2s;
    QLabel* name2s;
    QLabel* id2s;
    Edit* name2;
    Edit* id2;
    QLineEdit* Modmes1;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
    QPlainTextEdit* helpmemo;

    void id1Click();
    void id2Click();
    void name1Click();
    void name2Click();
    void id1Change();
    void id2Change();
    void name1Change();
    void name2Change();
    void id1Exit();
    void BitBtn1Click();

    bool legalId1 = false;
    bool legalId2 = false;
    bool legalName1 = false;
    bool legalName2 = false;

protected:
    void FormActivate() override;

private:
    void checkNumber(Edit* field, const Edit* other, bool* legal);
    Document& document_;
};

extern TArmymodify* Armymodify;
