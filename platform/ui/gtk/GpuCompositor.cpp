#include "platform/ui/gtk/GpuCompositor.h"

#include <epoxy/gl.h>
#include <gtk/gtk.h>

#include <cairo.h>

#include <cmath>
#include <optional>

#include "platform/gpu/Device.h"
#include "platform/gpu/GlContext.h"
#include "platform/gpu/Texture.h"
#include "platform/runtime/SystemLog.h"
#include "platform/ui/GpuView.h"
#include "platform/ui/Window.h"

namespace platform::ui::gtk {

namespace {

// The toolkit's context as a device's context. It is gone once the area is unrealized.
class ToolkitGlContext : public gpu::GlContext {
public:
    explicit ToolkitGlContext(GdkGLContext* context) : context_(GDK_GL_CONTEXT(g_object_ref(context))) {}
    ~ToolkitGlContext() override { g_object_unref(context_); }
    bool makeCurrent() override {
        if (!alive_) return false;
        if (gdk_gl_context_get_current() != context_) gdk_gl_context_make_current(context_);
        return true;
    }
    bool isAlive() const override { return alive_; }
    void destroyed() { alive_ = false; }

private:
    GdkGLContext* context_;
    bool alive_ = true;
};

constexpr const char* quadVertex = R"(#version 330 core
layout(location = 0) in vec2 position;
layout(location = 1) in vec2 texCoord;
out vec2 vTexCoord;
void main() { gl_Position = vec4(position, 0.0, 1.0); vTexCoord = texCoord; })";
constexpr const char* quadFragment = R"(#version 330 core
uniform sampler2D image;
in vec2 vTexCoord;
out vec4 fragColor;
void main() { fragColor = texture(image, vTexCoord); })";

GLuint compile(GLenum stage, const char* text) {
    GLuint shader = glCreateShader(stage);
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

bool hiddenOrInHidden(const View& view) {
    for (const View* v = &view; v; v = v->superview())
        if (v->isHidden()) return true;
    return false;
}

}  // namespace

struct GpuCompositor::Impl {
    GpuCompositor& owner;
    std::function<void()> changed;
    std::shared_ptr<ToolkitGlContext> context;
    GLuint program = 0, vertexArray = 0, vertices = 0, surfaceTexture = 0;
    // The surface the texture holds, to see when the window made a new one.
    cairo_surface_t* uploadedSurface = nullptr;
    int surfaceWidth = 0, surfaceHeight = 0;
    std::vector<gfx::Rect> dirty;

    Impl(GpuCompositor& o, std::function<void()> c) : owner(o), changed(std::move(c)) {}

    void fail(const std::string& why) {
        owner.failed_ = true;
        owner.failure_ = why;
        runtime::SystemLog::write(runtime::LogLevel::error, "", "GPU device unavailable: the window's GL area: " + why);
        if (changed) changed();
    }

    bool buildObjects() {
        const GLuint vertex = compile(GL_VERTEX_SHADER, quadVertex), fragment = compile(GL_FRAGMENT_SHADER, quadFragment);
        if (!vertex || !fragment) return false;
        program = glCreateProgram();
        glAttachShader(program, vertex);
        glAttachShader(program, fragment);
        glLinkProgram(program);
        glDeleteShader(vertex);
        glDeleteShader(fragment);
        GLint linked = GL_FALSE;
        glGetProgramiv(program, GL_LINK_STATUS, &linked);
        if (linked != GL_TRUE) return false;
        glUseProgram(program);
        glUniform1i(glGetUniformLocation(program, "image"), 0);
        glGenVertexArrays(1, &vertexArray);
        glGenBuffers(1, &vertices);
        glBindVertexArray(vertexArray);
        glBindBuffer(GL_ARRAY_BUFFER, vertices);
        glBufferData(GL_ARRAY_BUFFER, 16 * sizeof(float), nullptr, GL_DYNAMIC_DRAW);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(float), nullptr);
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(float), reinterpret_cast<void*>(2 * sizeof(float)));
        glBindVertexArray(0);
        glGenTextures(1, &surfaceTexture);
        return true;
    }

    void deleteObjects() {
        if (program) glDeleteProgram(program);
        if (vertices) glDeleteBuffers(1, &vertices);
        if (vertexArray) glDeleteVertexArrays(1, &vertexArray);
        if (surfaceTexture) glDeleteTextures(1, &surfaceTexture);
        program = vertices = vertexArray = surfaceTexture = 0;
        uploadedSurface = nullptr;
    }

    static void onRealize(GtkGLArea* area, Impl* self) {
        gtk_gl_area_make_current(area);
        if (GError* error = gtk_gl_area_get_error(area)) return self->fail(error->message);
        GdkGLContext* toolkitContext = gtk_gl_area_get_context(area);
        if (!toolkitContext) return self->fail("no GL context");
        self->context = std::make_shared<ToolkitGlContext>(toolkitContext);
        std::string why;
        auto device = gpu::Device::make(self->context, &why);
        if (!device) return self->fail(why);
        if (!self->buildObjects()) return self->fail("the compositing shaders did not build");
        self->owner.device_ = std::move(device);
        self->owner.failed_ = false;
        if (self->changed) self->changed();
    }

    static void onUnrealize(GtkGLArea* area, Impl* self) {
        if (!self->owner.device_) return;
        gtk_gl_area_make_current(area);
        self->deleteObjects();
        // Work still pending on the context fails; names of the context need no deleting.
        auto device = std::move(self->owner.device_);
        self->context->destroyed();
        device->loseContext("the window's GL context went away", true);
        if (self->changed) self->changed();
    }

    // Uploads what changed of the surface (all of it when it is a new one).
    void uploadSurface(const gfx::Canvas& canvas) {
        cairo_surface_t* surface = canvas.surface();
        cairo_surface_flush(surface);
        const int width = cairo_image_surface_get_width(surface), height = cairo_image_surface_get_height(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        if (!data || width <= 0 || height <= 0) return;
        glBindTexture(GL_TEXTURE_2D, surfaceTexture);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, stride / 4);
        if (surface != uploadedSurface || width != surfaceWidth || height != surfaceHeight) {
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_BGRA, GL_UNSIGNED_BYTE, data);
            uploadedSurface = surface;
            surfaceWidth = width;
            surfaceHeight = height;
        } else {
            // The surface's rows run from the top, as do the texture's here.
            const double scale = canvas.scale(), pointHeight = canvas.size().height;
            for (const gfx::Rect& r : dirty) {
                const int x0 = std::clamp(static_cast<int>(std::floor(r.x * scale)), 0, width);
                const int x1 = std::clamp(static_cast<int>(std::ceil(r.maxX() * scale)), 0, width);
                const int y0 = std::clamp(static_cast<int>(std::floor((pointHeight - r.maxY()) * scale)), 0, height);
                const int y1 = std::clamp(static_cast<int>(std::ceil((pointHeight - r.y) * scale)), 0, height);
                if (x1 <= x0 || y1 <= y0) continue;
                glTexSubImage2D(GL_TEXTURE_2D, 0, x0, y0, x1 - x0, y1 - y0, GL_BGRA, GL_UNSIGNED_BYTE,
                                data + static_cast<size_t>(y0) * static_cast<size_t>(stride) + static_cast<size_t>(x0) * 4);
            }
        }
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        dirty.clear();
    }

    // A textured quad over `rect` (window points); the texture's first row at the bottom, or at
    // the top when `firstRowOnTop`.
    void drawQuad(const gfx::Rect& rect, gfx::Size windowSize, GLuint texture, bool firstRowOnTop) {
        if (windowSize.width <= 0 || windowSize.height <= 0) return;
        const float x0 = static_cast<float>(rect.x / windowSize.width * 2 - 1);
        const float x1 = static_cast<float>(rect.maxX() / windowSize.width * 2 - 1);
        const float y0 = static_cast<float>(rect.y / windowSize.height * 2 - 1);
        const float y1 = static_cast<float>(rect.maxY() / windowSize.height * 2 - 1);
        const float bottom = firstRowOnTop ? 1.f : 0.f, top = firstRowOnTop ? 0.f : 1.f;
        const float quad[16] = {x0, y0, 0, bottom, x1, y0, 1, bottom, x0, y1, 0, top, x1, y1, 1, top};
        glBindBuffer(GL_ARRAY_BUFFER, vertices);
        glBufferSubData(GL_ARRAY_BUFFER, 0, sizeof quad, quad);
        glBindTexture(GL_TEXTURE_2D, texture);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    }

    static gboolean onRender(GtkGLArea* area, GdkGLContext*, Impl* self) {
        Window& window = self->owner.window_;
        // Drawing the views may draw GPU frames into framebuffers of their own.
        window.displayIfNeeded();
        if (!self->owner.device_ || !self->program) return TRUE;
        self->context->makeCurrent();
        gtk_gl_area_attach_buffers(area);
        const int scale = gtk_widget_get_scale_factor(GTK_WIDGET(area));
        glViewport(0, 0, gtk_widget_get_allocated_width(GTK_WIDGET(area)) * scale,
                   gtk_widget_get_allocated_height(GTK_WIDGET(area)) * scale);
        glDisable(GL_SCISSOR_TEST);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_FRAMEBUFFER_SRGB);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glUseProgram(self->program);
        glBindVertexArray(self->vertexArray);
        glActiveTexture(GL_TEXTURE0);
        glBindSampler(0, 0);
        glEnable(GL_BLEND);
        glBlendEquation(GL_FUNC_ADD);
        glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        const gfx::Size windowSize = window.size();
        for (GpuView* view : window.gpuViews()) {
            const auto& texture = view->presentedTexture();
            if (!texture || texture->device() != self->owner.device_ || hiddenOrInHidden(*view)) continue;
            self->drawQuad(view->convertToWindow(view->bounds()), windowSize, texture->name(), false);
        }
        self->uploadSurface(window.surface());
        self->drawQuad(window.bounds(), windowSize, self->surfaceTexture, true);
        glBindVertexArray(0);
        glBindTexture(GL_TEXTURE_2D, 0);
        return TRUE;
    }
};

GpuCompositor::GpuCompositor(Window& window, std::function<void()> changed)
    : window_(window), area_(gtk_gl_area_new()), impl_(std::make_unique<Impl>(*this, std::move(changed))) {
    g_object_ref_sink(area_);
    GtkGLArea* area = GTK_GL_AREA(area_);
    gtk_gl_area_set_required_version(area, 3, 3);
    gtk_gl_area_set_has_alpha(area, FALSE);
    gtk_gl_area_set_auto_render(area, TRUE);
    g_signal_connect(area_, "realize", G_CALLBACK(Impl::onRealize), impl_.get());
    g_signal_connect(area_, "unrealize", G_CALLBACK(Impl::onUnrealize), impl_.get());
    g_signal_connect(area_, "render", G_CALLBACK(Impl::onRender), impl_.get());
}

GpuCompositor::~GpuCompositor() {
    if (gtk_widget_get_realized(area_)) gtk_widget_unrealize(area_);
    g_signal_handlers_disconnect_by_data(area_, impl_.get());
    g_object_unref(area_);
}

bool GpuCompositor::contextsAvailable(std::string* whyNot) {
    static std::optional<std::string> failure;
    static bool tried = false;
    if (!tried) {
        tried = true;
        GtkWidget* probe = gtk_window_new(GTK_WINDOW_POPUP);
        gtk_widget_realize(probe);
        GError* error = nullptr;
        GdkGLContext* context = gdk_window_create_gl_context(gtk_widget_get_window(probe), &error);
        if (context) {
            gdk_gl_context_set_required_version(context, 3, 3);
            if (gdk_gl_context_realize(context, &error)) {
                std::string why;
                auto glContext = std::make_shared<ToolkitGlContext>(context);
                if (!gpu::Device::make(glContext, &why)) failure = why;
                glContext->destroyed();
            }
            gdk_gl_context_clear_current();
            g_object_unref(context);
        }
        if (error) {
            failure = error->message;
            g_error_free(error);
        }
        gtk_widget_destroy(probe);
    }
    if (failure && whyNot) *whyNot = *failure;
    return !failure;
}

void GpuCompositor::fail(const std::string& why) { impl_->fail(why); }

void GpuCompositor::surfaceChanged(const std::vector<gfx::Rect>& rects) {
    impl_->dirty.insert(impl_->dirty.end(), rects.begin(), rects.end());
}

void GpuCompositor::queueRender() { gtk_gl_area_queue_render(GTK_GL_AREA(area_)); }

}  // namespace platform::ui::gtk
