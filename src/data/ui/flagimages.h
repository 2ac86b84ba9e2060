#pragma once

#include <QPixmap>
#include <QSize>

#include <vector>

class CCountryCatalogue;

// One flag picture per catalogue entry, loaded from flags/XX.png relative to
// the working directory. A flag that cannot be loaded stays empty.
class CFlagImages {
public:
    // The size of every flag picture.
    static constexpr QSize kFlagSize{25, 15};

    void Load(const CCountryCatalogue& catalogue);
    int Count() const { return static_cast<int>(flags_.size()); }
    // A null pixmap outside the catalogue or for a flag that did not load.
    QPixmap Flag(int country) const;

private:
    std::vector<QPixmap> flags_;
};
