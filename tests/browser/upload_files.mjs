// Sends a form with file inputs from the system's Chromium, once per entry
// of a list, and prints, as JSON, what the browser got each time: the
// answer's status and the text of the page it shows.
//
//   node upload_files.mjs URL '[{"fields": {NAME: VALUE}, "files": {INPUT: [PATH, ...]}}, ...]'
//
// An input left out of "files" is sent as a browser sends an input with no
// file chosen.
import { launchChromium } from './chromium.mjs';

const [url, postsJson] = process.argv.slice(2);
const posts = JSON.parse(postsJson);

const browser = await launchChromium();
try {
  const page = await browser.newPage();
  const answers = [];
  for (const post of posts) {
    await page.goto(url);
    for (const [name, value] of Object.entries(post.fields || {})) await page.fill(`[name="${name}"]`, value);
    for (const [name, paths] of Object.entries(post.files || {})) {
      await page.setInputFiles(`input[name="${name}"]`, paths);
    }
    const [response] = await Promise.all([page.waitForNavigation(), page.click('input[type="submit"]')]);
    answers.push({ status: response.status(), text: await page.innerText('body') });
  }
  process.stdout.write(JSON.stringify(answers));
} finally {
  await browser.close();
}
