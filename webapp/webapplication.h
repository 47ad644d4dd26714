#pragma once

#include "bridge/webapplication.h"
#include "webapp/labels.h"

namespace webapp {

// The web application component "Quorvex.WebApp": the application's pages for the browser.
// A new instance answers each request; what must last goes into the context's "Application"
// Dictionary. Every address and form is listed in README.md ("The web application").
class WebApp final : public bridge::WebApplication {
public:
    QString className() const override;
    void SetTranslation(pugi::xml_node root) override { m_labels = Labels(root); }
    // The text of Answer's Response (bridge/answertext.h).
    common::Value ProcessRequest(common::DictionaryPtr& context) override;
    common::Response Answer(common::DictionaryPtr& context) override;

private:
    Labels m_labels;
};

// Registers WebApp with the object factory under bridge::WEB_APPLICATION_CLASS.
void RegisterWebApplication();

} // namespace webapp
