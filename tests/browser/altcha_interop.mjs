// The reference library of the challenge protocol against the program, both
// ways. "solve KEY" reads a challenge the program issued (JSON on standard
// input), solves it with the library and prints the widget's payload and
// whether the library itself accepts it. "make KEY EXPIRES" makes a
// challenge with the library, solves it, and prints the payload.
import { createChallenge, solveChallenge, verifySolution } from 'altcha-lib';

const [mode, key, expires] = process.argv.slice(2);

async function readStdin() {
  let text = '';
  for await (const chunk of process.stdin) text += chunk;
  return text;
}

function payloadOf(challenge, solution) {
  return Buffer.from(JSON.stringify({
    algorithm: challenge.algorithm, challenge: challenge.challenge, number: solution.number,
    salt: challenge.salt, signature: challenge.signature, took: solution.took,
  })).toString('base64');
}

let challenge;
if (mode === 'solve') {
  challenge = JSON.parse(await readStdin());
} else {
  challenge = await createChallenge({ hmacKey: key, maxnumber: 5000, expires: new Date(Number(expires) * 1000) });
}
const solution = await solveChallenge(challenge.challenge, challenge.salt, challenge.algorithm,
                                      challenge.maxnumber).promise;
const payload = payloadOf(challenge, solution);
console.log(JSON.stringify({ payload, verified: await verifySolution(payload, key) }));
