#pragma once

#include "Toolkit.h"

class TArmymodify : public Form {
    Q_OBJECT
public:
    explicit TArmymodify(QWidget* parent);

    Edit* id1;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
};
