#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace cep {

/// The one statement that merges every row of `source` into `destination`:
/// a row whose `key` exists is updated (every column but the key), any other
/// inserted. `columns` are the source's, paired by name with the
/// destination's. A row that already holds the source's values is left
/// alone, so that a release applied over itself writes nothing.
std::string BuildMergeStatement(std::string_view source, std::string_view destination,
                                std::string_view key, const std::vector<std::string>& columns);

}  // namespace cep
