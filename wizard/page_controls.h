// Control ids of the page templates in res/dialogs.txt, by which the pages
// reach their controls. Ids repeat across pages, as the templates give them,
// so an id means something only together with its page. The checks in
// entries.h never see these: they name entries, and the pages choose the
// edit box that blinks.
#ifndef QUILLOGEN_PAGE_CONTROLS_H_
#define QUILLOGEN_PAGE_CONTROLS_H_

namespace quillogen {

namespace control {
constexpr int kProgramUrl = 1000;         // page 1
constexpr int kRecipients = 1001;         // page 2
constexpr int kMailServer = 1033;         // page 2
constexpr int kStripEmpty = 1003;         // page 3
constexpr int kSubject = 1004;            // page 3
constexpr int kEnvironmentReport = 1005;  // page 3
constexpr int kPriority = 1006;           // page 3
constexpr int kUseTemplate = 1007;        // page 4
constexpr int kTemplateFormat = 1008;     // page 4
constexpr int kHtmlFormat = 1009;         // page 4
constexpr int kTextFormat = 1010;         // page 4
constexpr int kTemplateFile = 1011;       // page 4
constexpr int kSuccessDocument = 1012;    // page 5
constexpr int kErrorDocument = 1005;      // page 5
constexpr int kRequiredDocument = 1006;   // page 5
constexpr int kEmail = 1013;              // page 6
constexpr int kAddress = 1015;            // page 6
constexpr int kMisc = 1017;               // page 6
constexpr int kComments = 1020;           // page 6
constexpr int kSampleFields = 1021;       // page 6
constexpr int kEmailVerify = 1025;        // page 6
constexpr int kEmailFrom = 1032;          // page 6
constexpr int kHtml5Page = 1040;          // page 6
}  // namespace control

}  // namespace quillogen

#endif  // QUILLOGEN_PAGE_CONTROLS_H_
