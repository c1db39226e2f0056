// Opens a form page in the system's Chromium, types the given values into the
// named fields, presses the submit button and prints, as JSON, the page the
// browser shows then: its address and its HTML.
//
//   node submit_form.mjs URL '{"field name": "value", ...}'
import { launchChromium } from './chromium.mjs';

const [url, fieldsJson] = process.argv.slice(2);
const fields = JSON.parse(fieldsJson);

const browser = await launchChromium();
try {
  const page = await browser.newPage();
  await page.goto(url);
  for (const [name, value] of Object.entries(fields)) {
    await page.fill(`[name="${name}"]`, value);
  }
  await Promise.all([page.waitForNavigation(), page.click('input[type="submit"]')]);
  const answer = { url: page.url(), html: await page.content() };
  process.stdout.write(JSON.stringify(answer));
} finally {
  await browser.close();
}
