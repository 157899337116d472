#include "platform/gpu/GlContext.h"

#include <dlfcn.h>
#include <epoxy/egl.h>

#include <cstring>
#include <mutex>
#include <string_view>

namespace platform::gpu {

namespace {

bool hasExtension(const char* list, std::string_view name) {
    if (!list) return false;
    std::string_view all(list);
    size_t at = 0;
    while ((at = all.find(name, at)) != std::string_view::npos) {
        const size_t end = at + name.size();
        if ((at == 0 || all[at - 1] == ' ') && (end == all.size() || all[end] == ' ')) return true;
        at = end;
    }
    return false;
}

struct DisplayState {
    EGLDisplay display = EGL_NO_DISPLAY;
    std::string failure;
};

// The process's display, initialised once and never terminated.
const DisplayState& sharedDisplay() {
    static DisplayState state;
    static std::once_flag once;
    std::call_once(once, [] {
        // Without libEGL the dispatch library would abort on its first call.
        if (!::dlopen("libEGL.so.1", RTLD_NOW | RTLD_GLOBAL)) {
            state.failure = "libEGL.so.1 cannot be loaded";
            return;
        }
        const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
        if (!hasExtension(clientExtensions, "EGL_MESA_platform_surfaceless")) {
            state.failure = "EGL has no surfaceless platform";
            return;
        }
        EGLDisplay display = EGL_NO_DISPLAY;
        if (hasExtension(clientExtensions, "EGL_EXT_platform_base"))
            display = eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (display == EGL_NO_DISPLAY) {
            state.failure = "no surfaceless EGL display";
            return;
        }
        EGLint major = 0, minor = 0;
        if (!eglInitialize(display, &major, &minor)) {
            state.failure = "eglInitialize failed (error " + std::to_string(eglGetError()) + ")";
            return;
        }
        state.display = display;
    });
    return state;
}

}  // namespace

std::shared_ptr<EglContext> EglContext::create(std::string* whyNot) {
    auto fail = [whyNot](std::string reason) -> std::shared_ptr<EglContext> {
        if (whyNot) *whyNot = std::move(reason);
        return nullptr;
    };
    const DisplayState& state = sharedDisplay();
    if (state.display == EGL_NO_DISPLAY) return fail(state.failure);
    EGLDisplay display = state.display;
    const char* extensions = eglQueryString(display, EGL_EXTENSIONS);
    if (!hasExtension(extensions, "EGL_KHR_surfaceless_context") ||
        !hasExtension(extensions, "EGL_KHR_no_config_context"))
        return fail("EGL cannot make a context without a surface");
    if (!eglBindAPI(EGL_OPENGL_API)) return fail("EGL has no desktop OpenGL");

    const EGLint robustAttributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                       EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                       EGL_CONTEXT_OPENGL_ROBUST_ACCESS, EGL_TRUE,
                                       EGL_CONTEXT_OPENGL_RESET_NOTIFICATION_STRATEGY, EGL_LOSE_CONTEXT_ON_RESET,
                                       EGL_NONE};
    const EGLint plainAttributes[] = {EGL_CONTEXT_MAJOR_VERSION, 3, EGL_CONTEXT_MINOR_VERSION, 3,
                                      EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                      EGL_NONE};
    bool robust = true;
    EGLContext context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, robustAttributes);
    if (context == EGL_NO_CONTEXT) {
        robust = false;
        context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, plainAttributes);
    }
    if (context == EGL_NO_CONTEXT)
        return fail("no OpenGL 3.3 core context (EGL error " + std::to_string(eglGetError()) + ")");
    return std::shared_ptr<EglContext>(new EglContext(context, robust));
}

EglContext::~EglContext() {
    EGLDisplay display = sharedDisplay().display;
    if (!context_ || display == EGL_NO_DISPLAY) return;
    if (eglGetCurrentContext() == context_) eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display, context_);
}

bool EglContext::makeCurrent() {
    if (!context_) return false;
    if (eglGetCurrentContext() == context_) return true;
    return eglMakeCurrent(sharedDisplay().display, EGL_NO_SURFACE, EGL_NO_SURFACE, context_) == EGL_TRUE;
}

}  // namespace platform::gpu
