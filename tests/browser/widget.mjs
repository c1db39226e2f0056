// Drives the challenge widget on a form in Chromium and prints, as JSON, the
// page it shows at the end, the values it read and what each post answered.
//
//   node widget.mjs '[["goto", URL], ["fill", NAME, VALUE], ["solve"],
//                     ["remove", SELECTOR], ["sleep", MS], ["submit"],
//                     ["post", {NAME: VALUE, ...}], ...]'
//
// "solve" ticks the widget's box, waits until it has put its answer into the
// form, and records that answer; "post" sends fields from the page with
// fetch: the form's own fields with these in their place, and the last
// recorded answer as the field altcha unless given.
import { launchChromium } from './chromium.mjs';

const steps = JSON.parse(process.argv[2]);
const browser = await launchChromium();
try {
  const page = await browser.newPage();
  const errors = [];
  page.on('pageerror', (error) => errors.push(String(error)));
  const solved = [];
  const posts = [];
  for (const [action, ...args] of steps) {
    if (action === 'goto') await page.goto(args[0]);
    if (action === 'fill') await page.fill(`[name="${args[0]}"]`, args[1]);
    if (action === 'solve') {
      const started = Date.now();
      await page.locator('altcha-widget input[type="checkbox"]').click();
      const answer = page.locator('altcha-widget input[name="altcha"]');
      await page.waitForFunction(() => document.querySelector('altcha-widget input[name="altcha"]')?.value,
                                 null, { timeout: 60000 });
      solved.push({ payload: await answer.inputValue(), ms: Date.now() - started });
    }
    if (action === 'remove') await page.evaluate((selector) => document.querySelector(selector).remove(), args[0]);
    if (action === 'sleep') await page.waitForTimeout(args[0]);
    if (action === 'submit') {
      await Promise.all([page.waitForNavigation(), page.click('input[type="submit"]')]);
    }
    if (action === 'post') {
      const fields = { altcha: solved.at(-1)?.payload, ...args[0] };
      posts.push(await page.evaluate(async (fields) => {
        const form = document.querySelector('form');
        const body = new URLSearchParams(new FormData(form));
        for (const [name, value] of Object.entries(fields)) body.set(name, value);
        const response = await fetch(form.action, { method: 'POST', body });
        return { status: response.status, body: await response.text() };
      }, fields));
    }
  }
  process.stdout.write(JSON.stringify({ url: page.url(), html: await page.content(), solved, posts, errors }));
} finally {
  await browser.close();
}
