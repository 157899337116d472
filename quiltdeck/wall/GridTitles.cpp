// The wall's automatic tile titles: the tick, its answer, and the Suggest button's question.
#include "platform/runtime/MainLoop.h"
#include "quiltdeck/panels/Setup.h"
#include "quiltdeck/sessions/ClaudeCLI.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Lang.h"
#include "quiltdeck/wall/GridController.h"
#include "quiltdeck/wall/TitleLoop.h"

namespace quiltdeck {

using platform::runtime::MainLoop;

namespace {

void runCli(std::string prompt, ClaudeCLI::Done done) {
    ClaudeCLI::oneShot(std::move(prompt), {}, false, TitleLoop::timeout, std::move(done));
}

std::string textOf(WallTile& tile) {
    return TitleLoop::candidateText(tile.lastPrompt(), [&tile] { return tile.screenText(); });
}

// Why a suggestion came back without a name, in the user's words.
std::string whyNoName(ClaudeCLI::Failure failure) {
    using Failure = ClaudeCLI::Failure;
    if (failure == Failure::missing) return t("suggest_missing");
    // A CLI that is there but not signed in fails every call.
    if (failure != Failure::none && Setup::shared().stage() == Setup::Stage::needsLogin) return t("suggest_signed_out");
    switch (failure) {
        case Failure::none: return t("suggest_empty");
        case Failure::timedOut: return t("suggest_timed_out");
        default: return t("suggest_failed");
    }
}

}  // namespace

// --- Automatic titles ----------------------------------------------------------------------------

void GridController::setAiTitles(bool on) {
    Store::shared().setAiTitles(on);
    bar_.showAiTitles(on);
    if (onAiTitlesChanged) onAiTitlesChanged();
}

void GridController::startTitleLoop() {
    if (titleTimer_) titleTimer_->cancel();
    std::weak_ptr<int> alive = alive_;
    titleTimer_ = MainLoop::main().scheduleRepeating(TitleLoop::tickInterval, [this, alive] {
        if (!alive.expired()) tickTitles();
    });
}

void GridController::tickTitles() {
    if (!Store::shared().aiTitles() || titleBusy_ || Setup::shared().stage() != Setup::Stage::ready) return;
    const platform::runtime::TimePoint now = MainLoop::main().now();
    std::vector<WallTile*> candidates;
    for (WallTile* s : sessions()) {
        StatusMachine::Title* title = s->titleState();
        if (!title) continue;
        const std::string prompt = s->lastPrompt();
        TitleLoop::Tile facts{s->isShell(), s->status(), title->dirty, title->pinned, prompt, s->hasResumeId(),
                              title->lastTitleAt, std::nullopt};
        const auto failed = titleFailedPrompts_.find(s->id());
        if (failed != titleFailedPrompts_.end()) facts.failedPrompt = failed->second;
        if (TitleLoop::isCandidate(facts, now)) candidates.push_back(s);
    }
    if (candidates.empty()) return;

    titleBusy_ = true;
    std::vector<std::string> texts;
    // The answer names the tiles it was asked about, whatever happened to the wall meanwhile.
    std::vector<WallTile::Namer> namers;
    // Each tile's id and prompt as asked, for an answer that names it not.
    std::vector<std::pair<std::string, std::string>> asked;
    for (WallTile* s : candidates) {
        StatusMachine::Title* title = s->titleState();
        title->dirty = false;
        title->lastTitleAt = now;
        texts.push_back(textOf(*s));
        namers.push_back(s->aiTitleNamer());
        asked.emplace_back(s->id(), s->lastPrompt());
    }
    const std::string prompt = TitleLoop::batchPrompt(texts, Lang::current().promptLanguage());
    std::weak_ptr<int> alive = alive_;
    auto answered = [this, alive, namers = std::move(namers), asked = std::move(asked)](ClaudeCLI::Reply reply) {
        if (!alive.expired()) titleBusy_ = false;
        std::vector<bool> named(namers.size(), false);
        if (reply.answer) {
            for (const TitleLoop::Name& name : TitleLoop::parseBatchReply(*reply.answer, namers.size())) {
                if (const WallTile::Namer& namer = namers[name.index]) namer(name.name);
                named[name.index] = true;
            }
        }
        if (alive.expired()) return;
        // A failed answer is not asked for again until there is something new to name.
        for (size_t i = 0; i < asked.size(); ++i) {
            const auto& [id, prompt] = asked[i];
            if (named[i]) titleFailedPrompts_.erase(id);
            else if (session(id)) titleFailedPrompts_[id] = prompt;
        }
    };
    (runOneShot ? runOneShot : runCli)(prompt, std::move(answered));
}

void GridController::suggestName(WallTile& session, TileView::SuggestDone done) {
    const std::string prompt = TitleLoop::suggestionPrompt(textOf(session), Lang::current().promptLanguage());
    (runOneShot ? runOneShot : runCli)(prompt, [done = std::move(done)](ClaudeCLI::Reply reply) {
        if (!done) return;
        TileView::Suggestion suggestion(reply.answer ? TitleLoop::parseSuggestion(*reply.answer) : std::nullopt);
        if (!suggestion.name) suggestion.why = whyNoName(reply.failure);
        done(std::move(suggestion));
    });
}

}  // namespace quiltdeck
