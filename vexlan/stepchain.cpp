#include "stepchain.h"

#include "vexlanview.h"

std::optional<CResultOrigin> CStepChain::Next() {
    if (!m_continuing || m_view.m_bShowResult != 1 || !m_view.m_pResultImage)
        return CResultOrigin{};
    if (m_resultInputOf.lock() != m_view.m_pResultImage) {
        std::optional<CResultInput> input =
            ResultAsInput(m_view.m_nWidth, m_view.m_nHeight, m_view.m_pResultImage.get());
        if (!input)
            return std::nullopt;
        m_resultInput = std::make_shared<const CResultInput>(std::move(*input));
        m_resultInputOf = m_view.m_pResultImage;
    }
    return CResultOrigin{m_shown.links, m_resultInput, std::nullopt, {}};
}

CResultOrigin CStepChain::ShownStart() const {
    CResultOrigin start{m_shown.links, m_shown.input, std::nullopt, {}};
    if (!start.links.empty())
        start.links.pop_back();
    return start;
}

std::string CStepChain::Description() const {
    const std::vector<CChainLink>& links = m_shown.links;
    if (m_view.m_bShowResult != 1 || links.empty() ||
        (links.size() == 1 && links.front().values.empty()))
        return {};
    std::string text;
    for (const CChainLink& link : links)
        text += (text.empty() ? "" : " → ") + link.step +
                (link.values.empty() ? "" : "（" + link.values + "）");
    return text;
}

std::string CStepChain::FileWord() const {
    std::string word;
    for (const CChainLink& link : m_shown.links)
        word += (word.empty() ? "" : "-") + link.step;
    for (const double value : m_shown.values)
        word += "_" + ValueText(value);
    return word;
}
