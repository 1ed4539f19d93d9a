#include "BrellCore/integration/ManifestRepair.h"

namespace brell {

std::string debugText(const ManifestRepair& repair) {
    switch (repair.kind) {
    case ManifestRepair::Kind::repaired:
        return "repaired (was " + repair.text + ")";
    case ManifestRepair::Kind::failed:
        return "failed: " + repair.text;
    case ManifestRepair::Kind::missing:
        return "missing";
    case ManifestRepair::Kind::foreign:
        return "foreign";
    case ManifestRepair::Kind::current:
        return "current";
    }
    return "";
}

} // namespace brell
