#pragma once

#include "webapp/rendering/labels.h"
#include "webappapi/webapplication.h"

#include <memory>

namespace webapp {

class ApplicationService;

// The web application component "Quorvex.WebApp": the application's pages for the browser.
// A new instance answers each request, a thin handle on the run's ApplicationService, which
// keeps what lasts (RegisterWebApplication makes it with its service). Every address and form
// is listed in README.md ("The web application").
class WebApp final : public bridge::WebApplication {
public:
    explicit WebApp(std::shared_ptr<ApplicationService> service);

    QString className() const override;
    void SetTranslation(pugi::xml_node root) override;
    // The text of Answer's Response (webappapi/answertext.h).
    common::Value ProcessRequest(common::DictionaryPtr& context) override;
    common::Response Answer(common::DictionaryPtr& context) override;

private:
    std::shared_ptr<ApplicationService> m_service;
    Labels m_labels;
};

} // namespace webapp
