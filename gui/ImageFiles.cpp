#include "gui/ImageFiles.h"

#include <algorithm>

namespace tarnwick {

std::string loadErrorText(const assembler::ImageResult& result, std::size_t shown) {
    std::string text;
    const std::size_t listed = std::min(shown, result.errors.size());
    for (std::size_t i = 0; i < listed; ++i) {
        if (!text.empty()) text += '\n';
        text += result.errors[i];
    }
    if (result.errorCount > listed) {
        const std::size_t more = result.errorCount - listed;
        text += "\n... and " + std::to_string(more) + (more == 1 ? " more error" : " more errors") + " (" +
                std::to_string(result.errorCount) + " in all)";
    }
    return text;
}

MemoryFileResult readImageFile(const std::string& path) {
    std::shared_ptr<const assembler::ProgramText> source;
    return readImageFile(path, source);
}

MemoryFileResult readImageFile(const std::string& path,
                               std::shared_ptr<const assembler::ProgramText>& source) {
    // Only as many errors as the box shows are ever collected.
    assembler::ImageResult result = assembler::readImage(path, loadErrorsShown);
    source = result.image ? result.source : nullptr;
    if (!result) return MemoryFileResult{std::nullopt, loadErrorText(result), {}};
    if (result.warning) return MemoryFileResult{std::nullopt, *result.warning, {}};
    return MemoryFileResult{std::move(result.image), {}, {}};
}

}  // namespace tarnwick
