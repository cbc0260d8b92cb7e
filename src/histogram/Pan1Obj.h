#pragma once
// The histogram panel: remembers the chosen kind of quantity and object.
#include "core/QuantityCatalogue.h"
#include "panels/Panel.h"

class CPan1Obj : public CPanel {
    Q_OBJECT
public:
    CPan1Obj();

    void OpenForm() override;
    void Update() override;

    int m_nType = BLOWER; // QuantityKind: the position in the "Histogram type:" list
    int m_nBlower = 1;    // 1-based blower number
    int m_nSupply = 0;    // supply index
    int m_nSensor = 0;    // sensor index
};
