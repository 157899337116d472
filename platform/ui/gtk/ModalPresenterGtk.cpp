#include "platform/ui/gtk/ModalPresenterGtk.h"

#include <gtk/gtk.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/gtk/WidgetPeer.h"

namespace platform::ui::gtk {

namespace {

GtkMessageType messageType(Alert::Style style) {
    switch (style) {
        case Alert::Style::informational: return GTK_MESSAGE_INFO;
        case Alert::Style::warning: return GTK_MESSAGE_WARNING;
        case Alert::Style::critical: return GTK_MESSAGE_ERROR;
    }
    return GTK_MESSAGE_WARNING;
}

template <typename Answer>
struct Pending {
    Answer answer;
    GtkWidget** shown;
};

// A dialog with the prompt's title over an entry holding its initial text; the first button is
// the default, which Return in the entry activates.
GtkWidget* promptDialog(const TextPrompt& prompt, GtkWindow* parent, GtkWidget** entry) {
    GtkWidget* dialog = gtk_dialog_new();
    if (parent) gtk_window_set_transient_for(GTK_WINDOW(dialog), parent);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_destroy_with_parent(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_title(GTK_WINDOW(dialog), "Quiltdeck");
    gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
    GtkWidget* box = gtk_dialog_get_content_area(GTK_DIALOG(dialog));
    gtk_container_set_border_width(GTK_CONTAINER(box), 12);
    gtk_box_set_spacing(GTK_BOX(box), 10);
    GtkWidget* title = gtk_label_new(prompt.title.c_str());
    gtk_label_set_xalign(GTK_LABEL(title), 0);
    gtk_box_pack_start(GTK_BOX(box), title, FALSE, FALSE, 0);
    *entry = gtk_entry_new();
    gtk_entry_set_text(GTK_ENTRY(*entry), prompt.initial.c_str());
    gtk_entry_set_activates_default(GTK_ENTRY(*entry), TRUE);
    gtk_widget_set_size_request(*entry, static_cast<int>(prompt.fieldWidth), static_cast<int>(prompt.fieldHeight));
    gtk_box_pack_start(GTK_BOX(box), *entry, FALSE, FALSE, 0);
    const std::vector<std::string> buttons = prompt.buttons.empty() ? std::vector<std::string>{"OK"} : prompt.buttons;
    // As with alerts: the first button rightmost, the place of the default.
    for (int i = static_cast<int>(buttons.size()) - 1; i >= 0; --i)
        gtk_dialog_add_button(GTK_DIALOG(dialog), buttons[static_cast<size_t>(i)].c_str(), i);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), 0);
    gtk_widget_show_all(box);
    gtk_widget_grab_focus(*entry);
    return dialog;
}

std::optional<std::string> promptAnswer(GtkWidget* entry, gint response) {
    if (response != 0) return std::nullopt;
    return std::string(gtk_entry_get_text(GTK_ENTRY(entry)));
}

}  // namespace

void ModalPresenterGtk::showTextPrompt(const TextPrompt& prompt, Window* window,
                                       std::function<void(std::optional<std::string>)> answer) {
    GtkWidget* entry = nullptr;
    GtkWidget* dialog = promptDialog(prompt, lookup_ ? lookup_(window) : nullptr, &entry);
    struct Shown {
        std::function<void(std::optional<std::string>)> answer;
        GtkWidget** shown;
        GtkWidget* entry;
    };
    auto* pending = new Shown{std::move(answer), &shown_, entry};
    g_signal_connect_data(
        dialog, "response", G_CALLBACK(+[](GtkDialog* dialog, gint response, gpointer data) {
            auto* pending = static_cast<Shown*>(data);
            std::optional<std::string> text = promptAnswer(pending->entry, response);
            auto answer = std::move(pending->answer);
            pending->answer = nullptr;
            if (*pending->shown == GTK_WIDGET(dialog)) *pending->shown = nullptr;
            gtk_widget_destroy(GTK_WIDGET(dialog));
            if (answer) answer(std::move(text));
        }),
        pending, [](gpointer data, GClosure*) { delete static_cast<Shown*>(data); }, GConnectFlags(0));
    shown_ = dialog;
    gtk_window_present(GTK_WINDOW(dialog));
}

std::optional<std::string> ModalPresenterGtk::runTextPrompt(const TextPrompt& prompt) {
    GtkWidget* entry = nullptr;
    GtkWidget* dialog = promptDialog(prompt, nullptr, &entry);
    const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    std::optional<std::string> text = promptAnswer(entry, response);
    gtk_widget_destroy(dialog);
    return text;
}

void ModalPresenterGtk::showAlert(const Alert& alert, Window* window, std::function<void(int)> answer) {
    GtkWindow* parent = lookup_ ? lookup_(window) : nullptr;
    GtkWidget* dialog = gtk_message_dialog_new(parent, GtkDialogFlags(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
                                               messageType(alert.style), GTK_BUTTONS_NONE, "%s",
                                               alert.messageText.c_str());
    if (!alert.informativeText.empty())
        gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s", alert.informativeText.c_str());
    // A long word (a link, a path) wraps too, rather than widening the dialog past the screen, and
    // without a hyphen at the break: the dialog shows the text as it is, adding nothing.
    GList* labels = gtk_container_get_children(GTK_CONTAINER(gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog))));
    for (GList* item = labels; item; item = item->next) {
        if (!GTK_IS_LABEL(item->data)) continue;
        GtkLabel* label = GTK_LABEL(item->data);
        gtk_label_set_line_wrap_mode(label, PANGO_WRAP_WORD_CHAR);
        // Added to what the dialog set (the title's weight and size).
        PangoAttrList* given = gtk_label_get_attributes(label);
        PangoAttrList* attributes = given ? pango_attr_list_copy(given) : pango_attr_list_new();
        pango_attr_list_insert(attributes, pango_attr_insert_hyphens_new(FALSE));
        gtk_label_set_attributes(label, attributes);
        pango_attr_list_unref(attributes);
    }
    g_list_free(labels);
    // GTK lays the last added button out rightmost, the place of the default one: add them in
    // reverse so the first reads rightmost, as the platform shows defaults.
    for (int i = static_cast<int>(alert.buttons.size()) - 1; i >= 0; --i)
        gtk_dialog_add_button(GTK_DIALOG(dialog), alert.buttons[static_cast<size_t>(i)].c_str(), i);
    if (alert.buttons.empty()) gtk_dialog_add_button(GTK_DIALOG(dialog), "OK", 0);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), 0);
    gtk_window_set_title(GTK_WINDOW(dialog), "Quiltdeck");
    auto* pending = new Pending<std::function<void(int)>>{std::move(answer), &shown_};
    g_signal_connect_data(
        dialog, "response", G_CALLBACK(+[](GtkDialog* dialog, gint response, gpointer data) {
            auto* pending = static_cast<Pending<std::function<void(int)>>*>(data);
            auto answer = std::move(pending->answer);
            pending->answer = nullptr;
            if (*pending->shown == GTK_WIDGET(dialog)) *pending->shown = nullptr;
            gtk_widget_destroy(GTK_WIDGET(dialog));
            if (answer) answer(response >= 0 ? response : Alert::cancelled);
        }),
        pending, [](gpointer data, GClosure*) { delete static_cast<Pending<std::function<void(int)>>*>(data); },
        GConnectFlags(0));
    shown_ = dialog;
    gtk_window_present(GTK_WINDOW(dialog));
}

void ModalPresenterGtk::showFolderChooser(const FolderChooser& chooser, Window* window,
                                          std::function<void(std::optional<std::string>)> answer) {
    GtkWindow* parent = lookup_ ? lookup_(window) : nullptr;
    GtkWidget* dialog = gtk_file_chooser_dialog_new(
        chooser.title.c_str(), parent, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, g_dgettext("gtk30", "_Cancel"),
        GTK_RESPONSE_CANCEL, chooser.acceptLabel.empty() ? g_dgettext("gtk30", "_Open") : chooser.acceptLabel.c_str(),
        GTK_RESPONSE_ACCEPT, nullptr);
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    if (!chooser.initialFolder.empty())
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), chooser.initialFolder.c_str());
    using Answer = std::function<void(std::optional<std::string>)>;
    auto* pending = new Pending<Answer>{std::move(answer), &shown_};
    g_signal_connect_data(
        dialog, "response", G_CALLBACK(+[](GtkDialog* dialog, gint response, gpointer data) {
            auto* pending = static_cast<Pending<Answer>*>(data);
            std::optional<std::string> folder;
            if (response == GTK_RESPONSE_ACCEPT) {
                if (gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog))) {
                    folder = name;
                    g_free(name);
                }
            }
            auto answer = std::move(pending->answer);
            pending->answer = nullptr;
            if (*pending->shown == GTK_WIDGET(dialog)) *pending->shown = nullptr;
            gtk_widget_destroy(GTK_WIDGET(dialog));
            if (answer) answer(std::move(folder));
        }),
        pending, [](gpointer data, GClosure*) { delete static_cast<Pending<Answer>*>(data); }, GConnectFlags(0));
    shown_ = dialog;
    gtk_window_present(GTK_WINDOW(dialog));
}

void ModalPresenterGtk::showFileChooser(const FileChooser& chooser, Window* window,
                                        std::function<void(std::optional<std::string>)> answer) {
    GtkWindow* parent = lookup_ ? lookup_(window) : nullptr;
    const std::string& title = chooser.title.empty() ? chooser.message : chooser.title;
    GtkFileChooserNative* native =
        gtk_file_chooser_native_new(title.c_str(), parent, GTK_FILE_CHOOSER_ACTION_OPEN, nullptr, nullptr);
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(native), FALSE);
    if (!chooser.mimeTypes.empty()) {
        GtkFileFilter* filter = gtk_file_filter_new();
        gtk_file_filter_set_name(filter, title.c_str());
        for (const std::string& type : chooser.mimeTypes) gtk_file_filter_add_mime_type(filter, type.c_str());
        gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(native), filter);
    }
    if (!chooser.initialFolder.empty())
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(native), chooser.initialFolder.c_str());
    struct Shown {
        std::function<void(std::optional<std::string>)> answer;
        ModalPresenterGtk* presenter;
        // Ends the showing once: the answer, then the chooser goes.
        void finish(GtkFileChooserNative* native, std::optional<std::string> file) {
            auto told = std::move(answer);
            answer = nullptr;
            if (presenter->native_ == native) {
                presenter->native_ = nullptr;
                presenter->cancelNative_ = nullptr;
            }
            g_object_unref(native);
            if (told) told(std::move(file));
        }
    };
    auto* shown = new Shown{std::move(answer), this};
    g_signal_connect_data(
        native, "response", G_CALLBACK(+[](GtkNativeDialog* dialog, gint response, gpointer data) {
            std::optional<std::string> file;
            if (response == GTK_RESPONSE_ACCEPT) {
                if (gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog))) {
                    file = name;
                    g_free(name);
                }
            }
            static_cast<Shown*>(data)->finish(GTK_FILE_CHOOSER_NATIVE(dialog), std::move(file));
        }),
        shown, [](gpointer data, GClosure*) { delete static_cast<Shown*>(data); }, GConnectFlags(0));
    native_ = native;
    cancelNative_ = [native, shown] {
        gtk_native_dialog_hide(GTK_NATIVE_DIALOG(native));
        shown->finish(native, std::nullopt);
    };
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(native));
}

void ModalPresenterGtk::cancelShown() {
    if (shown_) gtk_dialog_response(GTK_DIALOG(shown_), GTK_RESPONSE_DELETE_EVENT);
    else if (auto cancel = cancelNative_) cancel();
}

void ModalPresenterGtk::showAbout(const AboutInfo& info, Window* window) {
    GtkWidget* dialog = gtk_about_dialog_new();
    GtkAboutDialog* about = GTK_ABOUT_DIALOG(dialog);
    gtk_about_dialog_set_program_name(about, info.programName.c_str());
    gtk_about_dialog_set_version(about, info.version.c_str());
    if (!info.comments.empty()) gtk_about_dialog_set_comments(about, info.comments.c_str());
    if (!info.copyright.empty()) gtk_about_dialog_set_copyright(about, info.copyright.c_str());
    if (!info.website.empty()) gtk_about_dialog_set_website(about, info.website.c_str());
    GdkPixbuf* logo = info.icon ? pixbufOf(*info.icon) : nullptr;
    if (logo) {
        gtk_about_dialog_set_logo(about, logo);
        g_object_unref(logo);
    } else if (!info.iconName.empty()) {
        gtk_about_dialog_set_logo_icon_name(about, info.iconName.c_str());
    }
    if (!info.windowTitle.empty()) gtk_window_set_title(GTK_WINDOW(dialog), info.windowTitle.c_str());
    GtkWidget* close = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_DELETE_EVENT);
    if (close && GTK_IS_BUTTON(close) && !info.closeTitle.empty()) gtk_button_set_label(GTK_BUTTON(close), info.closeTitle.c_str());
    if (GtkWindow* parent = lookup_ ? lookup_(window) : nullptr) gtk_window_set_transient_for(GTK_WINDOW(dialog), parent);
    g_signal_connect(dialog, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
    gtk_window_present(GTK_WINDOW(dialog));
}

}  // namespace platform::ui::gtk
