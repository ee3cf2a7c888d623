// Validates a .glb or .gltf file with the Khronos glTF validator (npm gltf-validator)
// and prints its issue counts and messages as JSON. The module's folder comes from
// GLTF_VALIDATOR_MODULES. Exit status: 0 when the file has no errors and no warnings,
// 1 when it has some, 2 when the validator cannot run.
'use strict';
const fs = require('fs');
const path = require('path');

let validator;
try {
  validator = require(path.join(process.env.GLTF_VALIDATOR_MODULES || '', 'gltf-validator'));
} catch (e) {
  console.error('gltf-validator is not installed: ' + e.message);
  process.exit(2);
}

const file = process.argv[2];
const folder = path.dirname(file);
validator
  .validateBytes(new Uint8Array(fs.readFileSync(file)), {
    uri: path.basename(file),
    maxIssues: 0,
    externalResourceFunction: (uri) =>
      new Promise((resolve, reject) => {
        fs.readFile(path.join(folder, decodeURIComponent(uri)), (err, data) =>
          err ? reject(err.toString()) : resolve(new Uint8Array(data)));
      }),
  })
  .then((report) => {
    const issues = report.issues;
    console.log(JSON.stringify({
      errors: issues.numErrors,
      warnings: issues.numWarnings,
      infos: issues.numInfos,
      messages: issues.messages.map((m) => `${m.code}: ${m.message} (${m.pointer || ''})`),
    }));
    process.exit(issues.numErrors + issues.numWarnings > 0 ? 1 : 0);
  })
  .catch((e) => {
    console.error('validation failed: ' + e);
    process.exit(2);
  });
