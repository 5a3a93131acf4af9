// The dictionary files' record readers and writers as designed, field by field through the
// stream, kept as the reference for the block writers and the direct list reads of the core.
#pragma once

#include <cstdint>

#include "core/dict/dictionary.h"
#include "core/io/data_stream.h"

namespace tsugihagi::reference {

void write_dic(const strmorph::dic_t& d, data_stream& s);
void write_idiomdic(const strmorph::dic_t& d, data_stream& s);
void read_dic(strmorph::dic_t& d, data_stream& s, std::int64_t* dropped);
void read_idiomdic(strmorph::dic_t& d, data_stream& s, std::int64_t* dropped);

}  // namespace tsugihagi::reference
