#pragma once
// The readings panel: remembers the chosen reading type and object.
#include "panels/Panel.h"

constexpr int IDC_TEMP = 1109;
constexpr int IDC_CURRENT = 1110;

class CReadObj : public CPanel {
    Q_OBJECT
public:
    CReadObj();

    void OpenForm() override;
    void Update() override;

    int m_nType = IDC_TEMP; // the id of the chosen type's radio button
    int m_nObject = 0;      // the position of the chosen entry in the object list
};
