// Checks pages with html-validate's recommended rules and prints, as JSON,
// each page's errors (rule, line, message).
//
//   node validate_html.mjs PAGE...
//
// Through the library's interface: its command line needs a newer Node
// than Debian 12 has.
import { readFileSync } from 'node:fs';
import { HtmlValidate } from 'html-validate';

const validator = new HtmlValidate({ extends: ['html-validate:recommended'] });
const pages = {};
for (const path of process.argv.slice(2)) {
  const report = await validator.validateString(readFileSync(path, 'utf8'), path);
  pages[path] = report.results.flatMap((result) => result.messages
    .filter((message) => message.severity === 2)
    .map((message) => ({ rule: message.ruleId, line: message.line, message: message.message })));
}
process.stdout.write(JSON.stringify(pages));
