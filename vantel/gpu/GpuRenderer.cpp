#include "vantel/gpu/GpuRenderer.h"

namespace vantel {

namespace {
GpuRenderer::Factory& installed() {
    static GpuRenderer::Factory factory;
    return factory;
}
}  // namespace

void GpuRenderer::installFactory(Factory factory) { installed() = std::move(factory); }

const GpuRenderer::Factory& GpuRenderer::factory() { return installed(); }

}  // namespace vantel
