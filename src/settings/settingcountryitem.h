#pragma once

#include <vector>

#include "settings/settingitem.h"

// Section "Country:": which countries are wanted, one flag per country of the
// country catalogue, in catalogue order.
class CSettingCountryItem : public CSettingItem {
public:
    // Sizes the flags from the country catalogue (loading it if needed); all 0.
    CSettingCountryItem();

    bool allCountries = true;
    unsigned countryCount = 0;
    std::vector<unsigned char> countryFlags;  // countryCount entries, 1 = wanted

    // Fails unless exactly countryCount flag lines come before "EndOfCountry".
    bool Read(CTabStdioFile& file) override;
    void Write(CTabStdioFile& file) override;
    void SetDefaults() override;
};
