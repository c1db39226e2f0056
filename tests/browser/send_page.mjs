// Fills a form page in Chromium and sends it with its own button, with the
// page's scripts running or switched off, and prints, as JSON, where the
// browser ends up and what it shows: the live region's text when the page
// answered in place, else the text of the page it went to.
//
//   node send_page.mjs URL '{"field name": "value", ...}' on|off
import { launchChromium } from './chromium.mjs';

const [url, fieldsJson, scripts] = process.argv.slice(2);
const browser = await launchChromium();
try {
  const context = await browser.newContext({ javaScriptEnabled: scripts === 'on' });
  const page = await context.newPage();
  await page.goto(url);
  for (const [name, value] of Object.entries(JSON.parse(fieldsJson))) await page.fill(`[name="${name}"]`, value);
  let status = null;
  if (scripts === 'on') {
    await page.click('button[type="submit"]');
    await page.waitForFunction(() => {
      const region = document.getElementById('form-status');
      return region && region.textContent && !region.textContent.startsWith('Sending');
    });
    status = await page.textContent('#form-status');
  } else {
    await Promise.all([page.waitForNavigation(), page.click('button[type="submit"]')]);
  }
  process.stdout.write(JSON.stringify({ url: page.url(), status, text: await page.innerText('body') }));
} finally {
  await browser.close();
}
