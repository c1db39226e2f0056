// Walks Chromium through a list of steps and prints, as JSON, the page it
// shows at the end (address and HTML) and what each fetch() answered.
//
//   node visit.mjs '[["goto", URL], ["fill", NAME, VALUE], ["submit"],
//                    ["reload"], ["fetch", PATH, BODY, ACCEPT], ...]'
//
// A fetch runs in the page, as a form's own script sends it.
import { launchChromium } from './chromium.mjs';

const steps = JSON.parse(process.argv[2]);
const browser = await launchChromium();
try {
  const page = await browser.newPage();
  const fetches = [];
  for (const [action, ...args] of steps) {
    if (action === 'goto') await page.goto(args[0]);
    if (action === 'fill') await page.fill(`[name="${args[0]}"]`, args[1]);
    if (action === 'submit') {
      await Promise.all([page.waitForNavigation(), page.click('input[type="submit"]')]);
    }
    if (action === 'reload') await page.reload();
    if (action === 'fetch') {
      fetches.push(await page.evaluate(async ([path, body, accept]) => {
        const response = await fetch(path, {
          method: 'POST', body,
          headers: { 'Content-Type': 'application/x-www-form-urlencoded', Accept: accept },
        });
        return { status: response.status, type: response.headers.get('content-type'),
                 body: await response.text() };
      }, args));
    }
  }
  process.stdout.write(JSON.stringify({ url: page.url(), html: await page.content(), fetches }));
} finally {
  await browser.close();
}
