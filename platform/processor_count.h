// How many processors this process may run on.
#pragma once

namespace kv9 {

// At least 1.
int usable_processors();

}  // namespace kv9
