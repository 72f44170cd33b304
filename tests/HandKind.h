#pragma once

// A hand-made kind for the engine and the window tests alike.

#include <string>

#include "army/Units.h"

namespace handkind {

// A kind of type O whose abbreviation is the first three letters of its name.
inline KindValues kind(const std::string& name, const std::string& position, double off, double def, double rof,
                       int32_t att, int32_t hit) {
    return {name, name.substr(0, 3), position, "O", off, def, rof, att, hit};
}

}  // namespace handkind
