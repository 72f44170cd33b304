#pragma once

#include "Toolkit.h"

class TRemform1 : public Form {
    Q_OBJECT
public:
    explicit TRemform1(QWidget* parent);

    Edit* Id;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
};
