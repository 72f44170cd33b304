#pragma once

#include "Toolkit.h"

class TBatsim : public Form {
    Q_OBJECT
public:
    explicit TBatsim(QWidget* parent);

    Edit* Amount;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
};
