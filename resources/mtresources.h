#pragma once

// Registers the compiled-in resource bundles (pictures and icon, sounds, translations). The
// bundles live in a static library, so nothing registers them unless this is called once before
// the first ":/" path is used.
void mtInitResources();
