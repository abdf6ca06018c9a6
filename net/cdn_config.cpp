#include "net/cdn_config.hpp"

namespace zelvo::launcher {

// Placeholder until the CDN configuration lands.
CdnConfig default_cdn_config() { return {}; }

}  // namespace zelvo::launcher
