#pragma once

#include "Toolkit.h"

class TAddform1 : public Form {
    Q_OBJECT
public:
    explicit TAddform1(QWidget* parent);

    Edit* id;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
};
